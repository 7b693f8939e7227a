// tesmar-demod: the command-line twin of raw-file playback.
#include "tools/Demod.h"
#include "tools/DemodOptions.h"
#include "tools/Messages.h"
#include "tools/StagedOutput.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    tools::DemodOptions options;
    std::string error;
    if (!tools::ParseDemodArgs(args, options, &error)) {
        std::fprintf(stderr, "tesmar-demod: %s\n", tools::OneLine(error).c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(tools::kDemodUsage, stdout);
        return 0;
    }
    tools::InstallStagedCleanupHandlers();
    if (!tools::RunDemod(options, nullptr, &error)) {
        std::fprintf(stderr, "tesmar-demod: %s\n", tools::OneLine(error).c_str());
        return 2;
    }
    return 0;
}
