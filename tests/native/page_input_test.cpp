#include "devtools/page_input.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace quarnel::devtools {
namespace {

TEST(PageInput, KeysGetTheirDomCodeAndKeyWhereTheExtendedPrefixTellsKeysApart) {
    struct Case {
        unsigned scan;
        bool extended;
        std::string_view code;
    };
    for (const Case& c : std::vector<Case>{{0x1E, false, "KeyA"},
                                           {0x1C, false, "Enter"},
                                           {0x1C, true, "NumpadEnter"},
                                           {0x1D, false, "ControlLeft"},
                                           {0x1D, true, "ControlRight"},
                                           {0x48, false, "Numpad8"},
                                           {0x48, true, "ArrowUp"},
                                           {0x45, false, "Pause"},
                                           {0x45, true, "NumLock"},
                                           {0x0E, false, "Backspace"},
                                           {0x58, false, "F12"},
                                           {0x7F, false, ""},
                                           {0x1E, true, ""}})
        EXPECT_EQ(dom_code(c.scan, c.extended), c.code) << std::hex << c.scan << " " << c.extended;

    struct Key {
        unsigned vk;
        std::string_view key;
    };
    for (const Key& k : std::vector<Key>{{0x08, "Backspace"},
                                         {0x0D, "Enter"},
                                         {0x25, "ArrowLeft"},
                                         {0x70, "F1"},
                                         {0x87, "F24"},
                                         {0xA3, "Control"},
                                         {0xE5, "Process"},
                                         {'A', ""},
                                         {0x20, ""},
                                         {0x88, ""}})
        EXPECT_EQ(dom_key(k.vk), k.key) << std::hex << k.vk;
}

TEST(PageInput, PressesCountAsOneClickOnlyWithinTheTimeTheSpotAndTheButton) {
    ClickCounter counter({.interval_ms = 500, .width = 4, .height = 4});
    struct Press {
        int button, x, y;
        std::uint32_t time;
        int count;
    };
    for (const Press& p : std::vector<Press>{
             {0, 10, 10, 1000, 1},
             {0, 11, 9, 1400, 2},
             {0, 13, 9, 1800, 3},  // 2 pixels from the last press: still within the rectangle
             {0, 16, 9, 2000, 1},  // 3 pixels away
             {0, 16, 9, 2501, 1},  // too late
             {1, 16, 9, 2600, 1},  // another button
             {0, 16, 9, 2700, 1},
             {0, 16, 9, 3200, 2},  // exactly the double-click time
         })
        EXPECT_EQ(counter.press(p.button, p.x, p.y, p.time), p.count) << p.time;

    // The tick count wraps after 49 days; a double click across the wrap still counts.
    ClickCounter wrapping;
    wrapping.press(0, 0, 0, 0xFFFFFF00u);
    EXPECT_EQ(wrapping.press(0, 0, 0, 0x10u), 2);
}

TEST(PageInput, CssCursorsMapToDesktopShapesPassingOverImages) {
    struct Case {
        std::string_view css;
        CursorShape shape;
    };
    for (const Case& c : std::vector<Case>{{"pointer", CursorShape::kHand},
                                           {"text", CursorShape::kIBeam},
                                           {"default", CursorShape::kArrow},
                                           {"auto", CursorShape::kArrow},
                                           {"", CursorShape::kArrow},
                                           {"zoom-in", CursorShape::kArrow},
                                           {"EW-Resize", CursorShape::kSizeWE},
                                           {"none", CursorShape::kNone},
                                           {"url(\"a.cur\") 4 4, url(b,c.png), not-allowed ", CursorShape::kNotAllowed},
                                           {"url(a.cur)", CursorShape::kArrow}})
        EXPECT_EQ(cursor_shape(c.css), c.shape) << c.css;
}

TEST(PageInput, OnlyTheNewestFrameWaitsToBeDrawn) {
    LatestFrame slot;
    EXPECT_FALSE(slot.take());
    for (int i = 1; i <= 3; ++i)
        slot.offer("frame" + std::to_string(i));
    EXPECT_EQ(slot.take(), "frame3");
    EXPECT_FALSE(slot.take());
    slot.offer("frame4");
    EXPECT_EQ(slot.take(), "frame4");
    EXPECT_EQ(slot.offered(), 4u);
    EXPECT_EQ(slot.dropped(), 2u);
}

}  // namespace
}  // namespace quarnel::devtools
