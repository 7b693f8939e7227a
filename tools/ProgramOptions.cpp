#include "tools/ProgramOptions.h"

#include "tools/Messages.h"

#include <algorithm>
#include <cstdio>

namespace tools {

CommonOptions TakeCommonOptions(std::vector<std::string>& args, bool withQuiet)
{
    CommonOptions options;
    const auto end = std::find(args.begin(), args.end(), "--");
    const auto kept = std::remove_if(args.begin(), end, [&](const std::string& a) {
        if (a == "-h" || a == "--help")
            return options.help = true;
        if (a == "--version")
            return options.version = true;
        if (withQuiet && (a == "-q" || a == "--quiet"))
            return options.quiet = true;
        return false;
    });
    args.erase(kept, end);
    return options;
}

std::string VersionText(std::string_view program)
{
    return std::string(program) + " " TESMAR_VERSION " (Tesmar)\n";
}

std::optional<int> AnswerHelpOrVersion(const CommonOptions& options, std::string_view program,
                                       const char* usage)
{
    if (!options.help && !options.version)
        return std::nullopt;
    const std::string text = options.help ? std::string(usage) : VersionText(program);
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written ? 0 : 2;
}

std::optional<std::string> FirstOption(const std::vector<std::string>& args)
{
    for (const std::string& a : args) {
        if (a == "--")
            break;
        if (a.size() > 1 && a[0] == '-')
            return a;
    }
    return std::nullopt;
}

bool ParseOptions(const std::vector<std::string>& args, std::span<const OptionRule> table,
                  std::vector<std::string>* positional, bool* help, std::string* error)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            positional->push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            *help = true;
            return true;
        }
        const auto eq = a.find('=');
        const std::string name = a.substr(0, eq);
        const auto option = std::find_if(table.begin(), table.end(),
                                         [&](const OptionRule& o) { return o.name == name; });
        // A flag given a value is no option of ours either.
        if (option == table.end() || (!option->takesValue && eq != std::string::npos)) {
            *error = "unknown option \"" + OneLine(a) + "\" (see --help)";
            return false;
        }
        std::string value;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (option->takesValue) {
            if (i + 1 >= args.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!option->apply(value, error))
            return false;
    }
    return true;
}

}  // namespace tools
