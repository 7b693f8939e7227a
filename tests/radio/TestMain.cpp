#include <QCoreApplication>

#include <gtest/gtest.h>

// The link runs on Qt's event loop (socket notifiers, timers), so every test
// of this binary shares one application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
