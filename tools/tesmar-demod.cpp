// tesmar-demod: the command-line twin of raw-file playback.
#include "tools/Demod.h"
#include "tools/DemodOptions.h"
#include "tools/Messages.h"
#include "tools/ProgramOptions.h"
#include "tools/ProgressLine.h"
#include "tools/StagedOutput.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const tools::CommonOptions common = tools::TakeCommonOptions(args, true);
    if (const auto status = tools::AnswerHelpOrVersion(common, "tesmar-demod", tools::kDemodUsage))
        return *status;
    tools::DemodOptions options;
    std::string error;
    if (!tools::ParseDemodArgs(args, options, &error)) {
        std::fprintf(stderr, "tesmar-demod: %s\n", tools::OneLine(error).c_str());
        return 2;
    }
    tools::InstallStagedCleanupHandlers();
    tools::ProgressLine progress(stderr, tools::RecordingSeconds(options.input), !common.quiet);
    const bool done = tools::RunDemod(options, nullptr, &error,
                                      [&progress](double seconds) { progress.Update(seconds); });
    progress.Clear();
    if (!done) {
        std::fprintf(stderr, "tesmar-demod: %s\n", tools::OneLine(error).c_str());
        return 2;
    }
    return 0;
}
