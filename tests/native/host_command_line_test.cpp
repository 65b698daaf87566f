#include "core/host_command_line.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

TEST(HostCommandLine, ReadsTheLineTheBrowserViewWrites) {
    auto line = parse_host_command_line(
        " --Open-Ver=1.0 --Open-Handler=1234 --Open-View=-5678 --open-cache-path=\"C:\\a b\\User Data\" "
        "--open-user-agent=\"Mozilla/5.0 (Windows NT 10.0)\" --extra \"x\"");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->handler, 1234);
    EXPECT_EQ(line->view, -5678);
    EXPECT_EQ(line->cache_path, "C:\\a b\\User Data");
    EXPECT_EQ(line->user_agent, "Mozilla/5.0 (Windows NT 10.0)");
    EXPECT_EQ(line->extra, "--extra \"x\"");
}

TEST(HostCommandLine, AcceptsEmptyValuesAndNoExtraText) {
    auto line = parse_host_command_line(
        " --Open-Ver=1.0 --Open-Handler=0 --Open-View=1 --open-cache-path=\"\" --open-user-agent=\"\" ");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->handler, 0);
    EXPECT_EQ(line->cache_path, "");
    EXPECT_EQ(line->user_agent, "");
    EXPECT_EQ(line->extra, "");
}

TEST(HostCommandLine, SkipsAProgramPathInFront) {
    for (const char* prefix : {"\"C:\\dir x\\cefview(e_pair).exe\" ", "cefview.exe\t"}) {
        auto line = parse_host_command_line(std::string(prefix) +
                                            "--Open-Ver=1.0 --Open-Handler=7 --Open-View=9 --open-cache-path=\"\" "
                                            "--open-user-agent=\"\"");
        ASSERT_TRUE(line) << prefix;
        EXPECT_EQ(line->view, 9);
    }
}

TEST(HostCommandLine, KeepsQuotesInsideAUserAgent) {
    auto line = parse_host_command_line(
        "--Open-Ver=1.0 --Open-Handler=1 --Open-View=2 --open-cache-path=\"\" --open-user-agent=\"a \"b\"c\" tail");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->user_agent, "a \"b\"c");
    EXPECT_EQ(line->extra, "tail");
}

TEST(HostCommandLine, ReadsTheWholeRangeOfHandleNumbers) {
    auto low = parse_host_command_line(
        "--Open-Ver=1.0 --Open-Handler=-2147483648 --Open-View=2147483647 --open-cache-path=\"\" "
        "--open-user-agent=\"\"");
    ASSERT_TRUE(low);
    EXPECT_EQ(low->handler, INT32_MIN);
    EXPECT_EQ(low->view, INT32_MAX);
}

TEST(HostCommandLine, RefusesMalformedLines) {
    const std::string good_tail = " --open-cache-path=\"\" --open-user-agent=\"\"";
    const struct {
        const char* why;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"blanks only", "   "},
        {"a path alone", "host.exe"},
        {"other version", "--Open-Ver=2.0 --Open-Handler=1 --Open-View=2" + good_tail},
        {"version with more digits", "--Open-Ver=1.01 --Open-Handler=1 --Open-View=2" + good_tail},
        {"handler missing", "--Open-Ver=1.0 --Open-View=2" + good_tail},
        {"options swapped", "--Open-Ver=1.0 --Open-View=2 --Open-Handler=1" + good_tail},
        {"handler not a number", "--Open-Ver=1.0 --Open-Handler=abc --Open-View=2" + good_tail},
        {"handler empty", "--Open-Ver=1.0 --Open-Handler= --Open-View=2" + good_tail},
        {"handler with junk", "--Open-Ver=1.0 --Open-Handler=12x --Open-View=2" + good_tail},
        {"handler too large", "--Open-Ver=1.0 --Open-Handler=2147483648 --Open-View=2" + good_tail},
        {"handler far too large", "--Open-Ver=1.0 --Open-Handler=99999999999999999999 --Open-View=2" + good_tail},
        {"view too small", "--Open-Ver=1.0 --Open-Handler=1 --Open-View=-2147483649" + good_tail},
        {"view zero", "--Open-Ver=1.0 --Open-Handler=1 --Open-View=0" + good_tail},
        {"view hex", "--Open-Ver=1.0 --Open-Handler=1 --Open-View=0x10" + good_tail},
        {"lower-case option", "--Open-Ver=1.0 --open-handler=1 --Open-View=2" + good_tail},
        {"cache path missing", "--Open-Ver=1.0 --Open-Handler=1 --Open-View=2 --open-user-agent=\"\""},
        {"user agent missing", "--Open-Ver=1.0 --Open-Handler=1 --Open-View=2 --open-cache-path=\"\""},
        {"cache path unquoted",
         "--Open-Ver=1.0 --Open-Handler=1 --Open-View=2 --open-cache-path=C:\\x --open-user-agent=\"\""},
        {"cache path unclosed", "--Open-Ver=1.0 --Open-Handler=1 --Open-View=2 --open-cache-path=\"C:\\x"},
        {"user agent unclosed",
         "--Open-Ver=1.0 --Open-Handler=1 --Open-View=2 --open-cache-path=\"\" --open-user-agent=\"abc"},
        {"no blank between options", "--Open-Ver=1.0--Open-Handler=1 --Open-View=2" + good_tail},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(parse_host_command_line(c.text)) << c.why << ": " << c.text;
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

TEST(HostCommandLine, BuildsTheExactTextAndReadsItBack) {
    EXPECT_EQ(build_host_command_line({1234, -5, "", "", ""}),
              " --Open-Ver=1.0 --Open-Handler=1234 --Open-View=-5 --open-cache-path=\"\" "
              "--open-user-agent=\"\" ");
    HostCommandLine line{8, 9, "C:\\app\\User Data", "UA/1.0 (x)", "--x=1"};
    std::string text = build_host_command_line(line);
    EXPECT_EQ(text,
              " --Open-Ver=1.0 --Open-Handler=8 --Open-View=9 --open-cache-path=\"C:\\app\\User Data\" "
              "--open-user-agent=\"UA/1.0 (x)\" --x=1");
    auto parsed = parse_host_command_line(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->handler, 8);
    EXPECT_EQ(parsed->view, 9);
    EXPECT_EQ(parsed->cache_path, line.cache_path);
    EXPECT_EQ(parsed->user_agent, line.user_agent);
    EXPECT_EQ(parsed->extra, line.extra);
}

}  // namespace
}  // namespace quarnel
