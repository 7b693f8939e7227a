#include <QApplication>

#include <gtest/gtest.h>

// Painting text and showing windows need one application object for the
// whole binary; the offscreen platform keeps the tests off any screen.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
