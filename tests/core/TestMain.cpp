#include <QCoreApplication>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <unistd.h>

// The receiver runs on Qt's event loop (device calls, serial notifiers,
// timers), so every test of this binary shares one application object.
int main(int argc, char** argv)
{
    // Outside the end-to-end tests no JACK server may be found or started:
    // the devices then fail to open, as on a machine without a sound card.
    const std::string absent = "tesmar-core-absent-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", absent.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
