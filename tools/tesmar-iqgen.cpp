// tesmar-iqgen: writes raw IQ recordings of a test signal.
#include "tools/IqGen.h"
#include "tools/Messages.h"
#include "tools/ProgramOptions.h"
#include "tools/StagedOutput.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const tools::CommonOptions common = tools::TakeCommonOptions(args, false);
    if (const auto status = tools::AnswerHelpOrVersion(common, "tesmar-iqgen", tools::kIqGenUsage))
        return *status;
    tools::IqGenOptions options;
    std::string error;
    if (!tools::ParseIqGenArgs(args, options, &error)) {
        std::fprintf(stderr, "tesmar-iqgen: %s\n", tools::OneLine(error).c_str());
        return 2;
    }
    tools::InstallStagedCleanupHandlers();
    if (!tools::WriteIqFile(options, &error)) {
        std::fprintf(stderr, "tesmar-iqgen: %s\n", tools::OneLine(error).c_str());
        return 2;
    }
    return 0;
}
