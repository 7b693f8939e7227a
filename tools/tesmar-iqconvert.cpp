// tesmar-iqconvert: hands our recordings to other programs and theirs to us.
#include "tools/IqConvert.h"
#include "tools/Messages.h"
#include "tools/ProgramOptions.h"
#include "tools/ProgressLine.h"
#include "tools/StagedOutput.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const tools::CommonOptions common = tools::TakeCommonOptions(args, true);
    if (const auto status =
            tools::AnswerHelpOrVersion(common, "tesmar-iqconvert", tools::kIqConvertUsage))
        return *status;
    if (const auto option = tools::FirstOption(args)) {
        std::fprintf(stderr, "tesmar-iqconvert: unknown option \"%s\" (see --help)\n",
                     tools::OneLine(*option).c_str());
        return 2;
    }
    if (const auto end = std::find(args.begin(), args.end(), "--"); end != args.end())
        args.erase(end);
    if (args.size() != 2) {
        std::fprintf(stderr, "tesmar-iqconvert: expected INPUT and OUTPUT (see --help)\n");
        return 2;
    }
    tools::InstallStagedCleanupHandlers();
    std::string error;
    tools::ProgressLine progress(stderr, tools::RecordingSeconds(args[0]), !common.quiet);
    const bool done = tools::ConvertIq(args[0], args[1], nullptr, &error,
                                       [&progress](double seconds) { progress.Update(seconds); });
    progress.Clear();
    if (!done) {
        std::fprintf(stderr, "tesmar-iqconvert: %s\n", error.c_str());
        return 2;
    }
    return 0;
}
