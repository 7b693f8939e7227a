#include "core/WindowPlacement.h"
#include "core/model/ReceiverSettings.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace core {
namespace {

// A window must come back where it was while the screens show all of it, and
// within reach otherwise: a monitor unplugged, a smaller or scaled screen.
TEST(WindowPlacement, KeptWhileWhollyShownElseMovedTheLeastWayOntoTheBestScreen)
{
    const QRect full(0, 0, 1280, 1024);
    const QRect left(-1920, 0, 1920, 1080);  // a second monitor left of the first
    const QRect tall(1280, 0, 1024, 1280);   // and a taller one right of it
    struct Case {
        const char* what;
        QRect frame;
        QList<QRect> screens;
        QPoint placed;
    };
    const Case cases[] = {
        {"inside", {200, 100, 634, 345}, {full}, {200, 100}},
        {"touching every edge", {0, 0, 1280, 1024}, {full}, {0, 0}},
        {"across two screens that meet", {1000, 100, 600, 300}, {full, tall}, {1000, 100}},
        {"on a screen left of the first", {-1500, 50, 600, 300}, {left, full}, {-1500, 50}},
        {"mirrored screens", {100, 100, 600, 300}, {full, full}, {100, 100}},
        {"right column off", {900, 100, 634, 345}, {full}, {646, 100}},
        {"title bar above the top", {300, -20, 200, 100}, {full}, {300, 0}},
        {"below the bottom", {500, 5000, 400, 225}, {full}, {500, 799}},
        {"monitor gone on the right", {3000, 100, 634, 345}, {full}, {646, 100}},
        {"monitor gone on the left", {-3000, -40, 223, 51}, {full}, {0, 0}},
        {"larger than the screen", {100, 100, 1400, 1100}, {full}, {0, 0}},
        {"mostly on the second", {1100, 1000, 600, 200}, {full, tall}, {1280, 1000}},
        {"in the gap below the first", {900, 1100, 300, 100}, {full, tall}, {900, 924}},
        {"mostly on the first", {1000, 900, 200, 200}, {full, tall}, {1000, 824}},
        {"nearest of two", {5000, 100, 300, 100}, {left, full}, {980, 100}},
        {"no screen known", {5000, 100, 300, 100}, {}, {5000, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect placed = PlaceOnScreens(c.frame, c.screens);
        EXPECT_EQ(placed.topLeft(), c.placed);
        EXPECT_EQ(placed.size(), c.frame.size());
        // Where it was placed it stays: the next start finds it on the screens.
        EXPECT_EQ(PlaceOnScreens(placed, c.screens), placed);
    }
}

// A window with no place of its own goes beside the main window where the
// screen shows it whole, never on top of the main window's title bar.
TEST(WindowPlacement, FirstPlaceBesideTheMainWindow)
{
    const QRect full(0, 0, 1280, 1024);
    const QRect main(0, 0, 736, 177);
    struct Case {
        const char* what;
        QRect main;
        QSize size;
        QPoint placed;
    };
    const Case cases[] = {
        {"right of it", main, {159, 178}, {736, 0}},
        {"below it when the right is too narrow", main, {600, 300}, {0, 177}},
        {"left of it", {700, 700, 500, 300}, {400, 300}, {300, 700}},
        {"above it", {0, 800, 1280, 224}, {500, 450}, {0, 350}},
        {"below it, brought onto the screen, when nowhere fits",
         {0, 0, 1280, 700},
         {500, 450},
         {0, 574}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect placed = PlaceBeside(c.main, c.size, {full});
        EXPECT_EQ(placed.topLeft(), c.placed);
        EXPECT_EQ(placed.size(), c.size);
    }
}

// A place near the int32 limits (a hand-edited or damaged settings file) is
// read into range: adding the window's size to it stays exact (UBSan finds
// the overflow otherwise) and the window comes back onto the screen.
TEST(WindowPlacement, ExtremeStoredPlacesAreReadIntoRangeAndComeBackOnScreen)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    const QRect screen(0, 0, 1280, 1024);
    const int64_t values[] = {kMax,        kMax - 300, kMin,
                              kMin + 1,    -kMax,      kWindowCoordinateLimit + 7,
                              -2147483000, 99999999999};
    tesmar::test::TempDir dir;
    for (int64_t v : values) {
        for (int64_t w : {int64_t{640}, int64_t{kMax}, int64_t{-5}}) {
            SCOPED_TRACE(std::to_string(v) + " " + std::to_string(w));
            const std::string n = std::to_string(v), size = std::to_string(w);
            tesmar::test::WriteFile(dir / "tesmar.ini",
                                    "[Form]\nSpecTop=" + n + "\nSpecLeft=" + n +
                                        "\nSpecWidth=" + size + "\nSpecHeight=" + size +
                                        "\nInpTop=" + n + "\nInpLeft=" + n + "\n");
            ReceiverState s;
            LoadSettings(dir / "tesmar.ini", s);
            for (const StoredWindow& place : {s.spectrumWindow, s.keypadWindow}) {
                const QSize frame(std::max(place.width, 200), std::max(place.height, 100));
                const QRect placed =
                    PlaceOnScreens(QRect(QPoint(place.left, place.top), frame), {screen});
                EXPECT_TRUE(screen.contains(placed.topLeft()));
            }
        }
    }
}

}  // namespace
}  // namespace core
