#include <QCoreApplication>

#include <gtest/gtest.h>

// libjack keeps a Berkeley DB environment for its metadata that it never
// frees; LeakSanitizer in the sanitizer build should not take it for ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdb-5.3.so\n"; }

// The engine posts its block calls through Qt's event loop, so every test of
// this binary shares one application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
