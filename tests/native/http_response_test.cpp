#include "devtools/http_response.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace quarnel {
namespace {

TEST(ParseResponseHead, ReadsTheStatusAndFieldsOrSaysWhatIsWrong) {
    struct Case {
        std::string_view bytes;
        ReadState state;
        int status = 0;
        size_t size = 0;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", ReadState::kComplete, 200, 38},
        {"HTTP/1.1 101 Switching Protocols\n\n", ReadState::kComplete, 101, 34},
        {"HTTP/1.0 404\r\n\r\n", ReadState::kComplete, 404, 16},
        {"HTTP/1.1 200 OK\r\nA: b\r\n", ReadState::kIncomplete},
        {"HTTP/1.1 200 O", ReadState::kIncomplete},
        {"", ReadState::kIncomplete},
        {"HTTP/2 200 OK\r\n\r\n", ReadState::kMalformed},
        {"HTTP/1.1 20 OK\r\n\r\n", ReadState::kMalformed},
        {"HTTP/1.1 2000 OK\r\n\r\n", ReadState::kMalformed},
        {"SSH-2.0-OpenSSH\r\n\r\n", ReadState::kMalformed},
        {"HTTP/1.1 200 OK\r\nNo colon\r\n\r\n", ReadState::kMalformed},
        {"HTTP/1.1 200 OK\r\nName : value\r\n\r\n", ReadState::kMalformed},
        {"HTTP/1.1 200 OK\r\nA: b\r\n folded\r\n\r\n", ReadState::kMalformed},
        {"HTTP/1.1 200 OK\r\n: empty name\r\n\r\n", ReadState::kMalformed},
    };
    for (const Case& c : cases) {
        HeadResult result = parse_response_head(c.bytes);
        EXPECT_EQ(result.state, c.state) << c.bytes;
        EXPECT_EQ(result.head.status, c.status) << c.bytes;
        EXPECT_EQ(result.head.size, c.size) << c.bytes;
    }
}

TEST(ParseResponseHead, FindsFieldsWithoutCaseAndTrimsTheirValues) {
    HeadResult result = parse_response_head("HTTP/1.1 200 OK\r\ncontent-TYPE: \t text/html \r\nX:\r\nX: 2\r\n\r\n");
    ASSERT_EQ(result.state, ReadState::kComplete);
    EXPECT_EQ(result.head.reason, "OK");
    EXPECT_EQ(result.head.header("Content-Type"), "text/html");
    EXPECT_EQ(result.head.header("x"), "");
    EXPECT_EQ(result.head.header("Content-Length"), std::nullopt);
}

TEST(ParseResponseHead, RefusesAHeadThatNeverEnds) {
    std::string head = "HTTP/1.1 200 OK\r\n";
    while (head.size() < kMaxResponseHead)
        head += "X-Filler: 0123456789012345678901234567890123456789\r\n";
    EXPECT_EQ(parse_response_head(head).state, ReadState::kMalformed);
    EXPECT_EQ(parse_response_head(head.substr(0, kMaxResponseHead - 100)).state, ReadState::kIncomplete);
}

TEST(HeaderHasToken, FindsATokenInACommaList) {
    EXPECT_TRUE(header_has_token("Upgrade", "upgrade"));
    EXPECT_TRUE(header_has_token("keep-alive, Upgrade", "upgrade"));
    EXPECT_TRUE(header_has_token("gzip ,chunked", "chunked"));
    EXPECT_FALSE(header_has_token("upgraded", "upgrade"));
    EXPECT_FALSE(header_has_token("", "upgrade"));
}
}  // namespace
}  // namespace quarnel
