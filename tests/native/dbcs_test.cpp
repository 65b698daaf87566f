#include "core/dbcs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

// The offsets at which characters start, stepping from 0 to the end.
template <typename Step>
std::vector<size_t> starts(std::string_view text, Step step) {
    std::vector<size_t> at;
    for (size_t i = 0; i < text.size(); i += step(text, i))
        at.push_back(i);
    return at;
}

TEST(DoubleByteStepping, TheTwoReadingsDifferOnlyWhereTheBytesAreNotAValidPair) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<size_t> high_bit, cp936;
    } cases[] = {
        {"ASCII", "a/b", {0, 1, 2}, {0, 1, 2}},
        {"a valid pair whose trail is a backslash", "\xD6\x5C/", {0, 2}, {0, 2}},
        {"a lead before an invalid trail", "\x81\x30/", {0, 2}, {0, 1, 2}},
        {"a lead before 0x7F", "\x81\x7F", {0}, {0, 1}},
        {"0x80 and 0xFF lead nothing in code page 936",
         "\x80"
         "a\xFF"
         "b",
         {0, 2},
         {0, 1, 2, 3}},
        {"a lead as the last byte", "a\xD6", {0, 1}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(starts(c.text, high_bit_char_length), c.high_bit);
        EXPECT_EQ(starts(c.text, cp936_char_length), c.cp936);
    }
}

}  // namespace
}  // namespace quarnel
