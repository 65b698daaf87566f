#include "core/seen_area.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarnel {
namespace {

TEST(SeenArea, AWindowIsSeenWhereSomePartOfItIsOnAScreenAndUncovered) {
    const ScreenBox view{100, 100, 500, 400};
    const std::vector<ScreenBox> one_screen = {{0, 0, 1920, 1080}};
    const std::vector<ScreenBox> two_screens = {{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}};
    struct Case {
        const char* what;
        ScreenBox area;
        std::vector<ScreenBox> screens;
        std::vector<ScreenBox> covers;
        bool seen;
    };
    std::vector<ScreenBox> strips;  // a mesh of 100 strips 3 px wide over the view, none covering it whole
    for (int x = 100; x < 500; x += 4)
        strips.push_back({x, 0, x + 3, 1080});
    std::vector<ScreenBox> bricks;  // 40 x 30 windows of 10 x 10 that together cover it whole
    for (int x = 100; x < 500; x += 10)
        for (int y = 100; y < 400; y += 10)
            bricks.push_back({x, y, x + 10, y + 10});
    const std::vector<Case> cases = {
        {"on the screen, nothing above", view, one_screen, {}, true},
        {"under a window larger than it", view, one_screen, {{0, 0, 800, 600}}, false},
        {"under a window of its own size", view, one_screen, {view}, false},
        {"under two windows that each cover a half", view, one_screen, {{0, 0, 300, 1080}, {300, 0, 600, 1080}}, false},
        {"half covered", view, one_screen, {{0, 0, 300, 1080}}, true},
        {"a strip left at its edge", view, one_screen, {{100, 100, 499, 400}}, true},
        {"windows beside it", view, one_screen, {{600, 0, 900, 900}, {0, 500, 1920, 1080}}, true},
        {"a mesh of strips with gaps", view, one_screen, strips, true},
        {"bricks that cover it whole", view, one_screen, bricks, false},
        {"wholly off the screen", {-3000, -3000, -2600, -2700}, one_screen, {}, false},
        {"half off the screen", {-200, 100, 200, 400}, one_screen, {}, true},
        {"half off the screen, the rest covered", {-200, 100, 200, 400}, one_screen, {{0, 0, 300, 1080}}, false},
        {"on the second screen", {2000, 100, 2400, 400}, two_screens, {}, true},
        {"between two screens, one half covered", {1800, 100, 2100, 400}, two_screens, {{1920, 0, 3840, 1080}}, true},
        {"in the gap of screens side by side at other heights", {0, 1100, 300, 1300}, two_screens, {}, false},
        {"no screen at all", view, {}, {}, false},
        {"an empty window", {100, 100, 100, 400}, one_screen, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(any_part_seen(c.area, c.screens, c.covers), c.seen);
    }
}

}  // namespace
}  // namespace quarnel
