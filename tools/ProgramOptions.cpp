#include "tools/ProgramOptions.h"

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

}  // namespace tools
