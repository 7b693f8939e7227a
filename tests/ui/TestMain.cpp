#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

// Painting text and showing windows need one application object for the
// whole binary; the offscreen platform keeps the tests off any screen.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The locale runs (LocaleWindows, LocaleCore in tests/core) prove nothing
    // where the locale is not generated and the C library stays with "C".
    if (qgetenv("LC_ALL") == "de_DE.UTF-8" && *std::localeconv()->decimal_point != ',') {
        std::fputs("de_DE.UTF-8 is not generated: run scripts/deps\n", stderr);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
