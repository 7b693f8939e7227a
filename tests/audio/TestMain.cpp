#include <QCoreApplication>

#include <gtest/gtest.h>

// The engine posts its block calls through Qt's event loop, so every test of
// this binary shares one application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
