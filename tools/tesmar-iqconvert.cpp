// tesmar-iqconvert: hands our recordings to other programs and theirs to us.
#include "tools/IqConvert.h"
#include "tools/StagedOutput.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help")) {
        std::fputs(tools::kIqConvertUsage, stdout);
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "tesmar-iqconvert: expected INPUT and OUTPUT (see --help)\n");
        return 2;
    }
    tools::InstallStagedCleanupHandlers();
    std::string error;
    if (!tools::ConvertIq(argv[1], argv[2], nullptr, &error)) {
        std::fprintf(stderr, "tesmar-iqconvert: %s\n", error.c_str());
        return 2;
    }
    return 0;
}
