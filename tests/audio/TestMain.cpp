#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// libjack keeps a Berkeley DB environment for its metadata that it never
// frees; LeakSanitizer in the sanitizer build should not take it for ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdb-5.3.so\n"; }

// The engine posts its block calls through Qt's event loop, so every test of
// this binary shares one application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // A server killed under a running stream leaves RtAudio's own detached
    // close thread behind; on a loaded machine it can still sit in libjack
    // when the process ends, and libjack's exit-time clean-up then waits for
    // it for ever. Every test has torn its servers down by now, so the
    // process ends without the libraries' exit handlers.
    std::fflush(nullptr);
    std::_Exit(result);
}
