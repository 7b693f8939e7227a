// Adds one channel to the memory list of a receiver whose files all live in
// the folder given as the only argument, says "added" once the change has
// been accepted, and runs until it is killed. The memory test kills it with
// SIGKILL and starts a receiver on the same folder.

#include "core/Receiver.h"

#include <QCoreApplication>

#include <cstdio>
#include <filesystem>

#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    // No sound device: the devices fail to open and the receiver carries on.
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::setenv("JACK_DEFAULT_SERVER", "tesmar-memory-kill-helper-absent", 1);
    QCoreApplication app(argc, argv);
    const std::filesystem::path dir = argv[1];
    core::ReceiverPaths paths;
    paths.settingsFile = dir / "tesmar.ini";
    paths.dataDirectory = dir;
    paths.programDirectory = dir;
    core::Receiver rx(paths);
    rx.SetAudioApi(audio::AudioApi::Jack);
    rx.Start();

    core::MemoryDraft draft = rx.Memory().DraftForAdd();
    draft.frequency = "7.1000049";
    draft.name = "Killed";
    draft.mode = core::Mode::Lsb;
    const core::MemoryCommit result = rx.Memory().Commit(draft);
    if (!result.Accepted() || !result.saveError.isEmpty())
        return 1;
    std::puts("added");
    std::fflush(stdout);
    return app.exec();
}
