#pragma once

// The options every command-line program of ours answers alike: -h/--help,
// --version and, where there is a progress line, -q/--quiet.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

struct CommonOptions {
    bool help = false;
    bool version = false;
    bool quiet = false;
};

// Takes the common options out of args (program name excluded), up to a
// "--" that ends the options. -q/--quiet only when `withQuiet`; otherwise it
// is left for the program's own parser to refuse.
CommonOptions TakeCommonOptions(std::vector<std::string>& args, bool withQuiet);

// "tesmar-demod 0.1.0 (Tesmar)", with a newline.
std::string VersionText(std::string_view program);

// For --help or --version: writes `usage` or the version to standard output
// and gives the exit status (0, or 2 when standard output could not be
// written). Nothing otherwise.
std::optional<int> AnswerHelpOrVersion(const CommonOptions& options, std::string_view program,
                                       const char* usage);

// The first word before "--" that looks like an option ("-" alone is a file
// name: standard input or output), or nothing.
std::optional<std::string> FirstOption(const std::vector<std::string>& args);

// An option of a program's own: a flag, or one that takes a value given as
// the next word or after "=". `apply` gets the value ("" for a flag) and
// refuses it with one line in *error.
struct OptionRule {
    std::string_view name;
    bool takesValue;
    std::function<bool(const std::string& value, std::string* error)> apply;
};

// Reads args (program name excluded) against `table`. Words that do not look
// like options ("-" alone is a file name) and every word after "--" go to
// *positional; -h/--help sets *help and ends the reading. False with one line
// in *error for an unknown option (which takes no word after it), a missing
// value, or a value its option refuses.
bool ParseOptions(const std::vector<std::string>& args, std::span<const OptionRule> table,
                  std::vector<std::string>* positional, bool* help, std::string* error);

}  // namespace tools
