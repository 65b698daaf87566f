#include "core/page_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace quarnel {
namespace {

using namespace std::string_literals;

TEST(PageText, TextBetweenAndBeforeLastStepOverDoubleByteCharacters) {
    struct Case {
        const char* what;
        std::string got, expected;
    } cases[] = {
        {"upper-case markers, ignoring case", text_between("<TITLE>Foo</TITLE>", "<title>", "</title>", 0, true),
         "Foo"},
        {"case kept", text_between("<TITLE>Foo</TITLE>", "<title>", "</title>", 0, false), ""},
        {"JSON title", text_between(R"({"title":"Bar","x":1})", "title\":\"", "\"", 0, true), "Bar"},
        {"no right marker", text_between("<title>Foo", "<title>", "</title>", 0, true), ""},
        {"empty between", text_between("<title></title>", "<title>", "</title>", 1, true), ""},
        {"start past the first marker", text_between("[a][b]", "[", "]", 2, false), "b"},
        {"start beyond the end", text_between("[a]", "[", "]", 4, false), ""},
        // "\xB5[" is one character: its trail byte is not a left marker.
        {"a marker across a trail byte", text_between("\xB5[x]y[z]"s, "[", "]", 0, false), "z"},
        {"a lone lead byte at the end", text_between("[\xB5"s, "[", "\xB5", 0, false), ""},
        {"icon prefix", text_before_last(R"(<link href="//a.cn/favicon.ico">)", "favicon.ico", "\"", true), "//a.cn/"},
        {"the last left, and a right wholly before it",
         text_before_last(R"("x/favicon.ico" "y/FAVICON.ICO")", "favicon.ico", "\"", true), "y/"},
        {"no right before the last left", text_before_last("favicon.ico\"", "favicon.ico", "\"", true), ""},
        {"title cleaned", clean_title(" \xA1\xA1 Foo\r\n Bar\t \xA1\xA1"s), "Foo Bar"},
        {"only spaces and breaks", clean_title("  \r\n  \n "), ""},
        // A1 A1 here is the trail of D6 A1 followed by a lone A1: no full-width space to trim.
        {"a trail byte that looks like a space", clean_title("\xD6\xA1\xA1"s), "\xD6\xA1\xA1"s},
        {"timestamp", format_timestamp({2026, 12, 8, 4, 9, 48}), "2026-12-08 04:09:48"},
        {"timestamp of a short year", format_timestamp({987, 1, 2, 23, 0, 5}), "987-01-02 23:00:05"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(PageText, IntervalTextReadsTheLeadingNumberOfSeconds) {
    struct Case {
        std::string text;
        int ms;
    } cases[] = {
        {"10", 10000},      {"2.5", 2500}, {"\xA3\xB1\xA3\xB0", 10000},
        {" +3e1", 30000},   {"abc", 0},    {"", 0},
        {"-5", -5000},      {"0.0001", 0}, {"7s", 7000},
        {"1e", 1000},       {"0x10", 0},   {"inf", 0},
        {"1e300", INT_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(interval_milliseconds(c.text), c.ms) << c.text;
}

TEST(PageText, IconAddressFollowsTheLastFaviconOfThePage) {
    struct Case {
        std::string source;
        std::optional<std::string> address;
    } cases[] = {
        {R"(<link rel="icon" href="//cdn.a.cn/i/favicon.ico">)", "http://cdn.a.cn/i/favicon.ico"},
        {R"(<link href="https://a.cn/favicon.ico?v=2">)", "https://a.cn/favicon.ico"},
        {R"(<link href="/favicon.ico">)", ""},
        {R"(<link href="https://a.cn/FAVICON.ICO">)", std::nullopt},
        {"<html>no icon</html>", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(icon_address(c.source), c.address) << c.source;
}

TEST(PageText, CopiedCellsAreJoinedByLineBreaksAndDoubleBreaksCollapseOnce) {
    struct Case {
        std::vector<std::string_view> cells;
        std::string text;
    } cases[] = {
        {{"a"}, "a"},
        {{"a", "", "c"}, "a\r\nc"},              // an empty cell's two breaks become one
        {{"a", "", "", "d"}, "a\r\n\r\nd"},      // three in a row become two
        {{"a", "", "", "", "e"}, "a\r\n\r\ne"},  // four become two
        {{" ", " "}, " \r\n "},
        {{"x\r\n", "y"}, "x\r\ny"},
        {{}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(copied_cells_text(c.cells), c.text) << testing::PrintToString(c.cells);
}

}  // namespace
}  // namespace quarnel
