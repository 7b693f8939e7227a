// Build-time generator of the meter face and the keypad sounds:
//   tesmar-assets OUTPUT_DIR
#include "tools/assets/Assets.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tesmar-assets OUTPUT_DIR\n");
        return 2;
    }
    // Drawing text needs a platform, but never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (!assets::WriteAll(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "tesmar-assets: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
