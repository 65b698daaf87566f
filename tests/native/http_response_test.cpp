#include "core/http_response.h"

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

// Every response is fed whole, then in two pieces split at each position, then byte by byte:
// each way must end the same.
TEST(HttpResponseReader, FramesTheBodyHoweverTheBytesArrive) {
    struct Case {
        std::string_view name;
        std::string_view bytes;
        bool stream_ends;  // whether the connection closes after the bytes
        ReadState state;
        std::string_view body;
        std::string_view rest = {};  // the bytes after the response
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloNEXT", false, ReadState::kComplete, "hello",
         "NEXT"},
        {"empty length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nNEXT", false, ReadState::kComplete, "", "NEXT"},
        {"length cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", true, ReadState::kMalformed, "hello"},
        {"length not a number", "HTTP/1.1 200 OK\r\nContent-Length: 5x\r\n\r\nhello", false, ReadState::kMalformed, ""},
        {"no content", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\nNEXT", false, ReadState::kComplete, "",
         "NEXT"},
        {"not modified", "HTTP/1.1 304 Not Modified\r\n\r\n", false, ReadState::kComplete, ""},
        {"to the end", "HTTP/1.1 200 OK\r\n\r\nall of it", true, ReadState::kComplete, "all of it"},
        {"to an end not yet come", "HTTP/1.1 200 OK\r\n\r\nall of it", false, ReadState::kIncomplete, "all of it"},
        {"head cut short", "HTTP/1.1 200 OK\r\nContent-", true, ReadState::kMalformed, ""},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1;x=y\r\n!\r\n0\r\n\r\nNEXT",
         false, ReadState::kComplete, "hello!", "NEXT"},
        {"chunked over a length",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n0\r\n\r\n",
         false, ReadState::kComplete, "0123456789"},
        {"chunked with a trailer", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\nhi\n0\nT: 1\n\nNEXT", false,
         ReadState::kComplete, "hi", "NEXT"},
        {"chunk without its line end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nhiX\r\n0\r\n\r\n",
         false, ReadState::kMalformed, "hi"},
        {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false,
         ReadState::kMalformed, ""},
        {"chunked cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", true,
         ReadState::kMalformed, "hel"},
        {"another coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nxx", false, ReadState::kMalformed, ""},
    };
    for (const Case& c : cases) {
        auto finish = [&](HttpResponseReader& reader, std::string_view how) {
            if (c.stream_ends)
                reader.end_of_stream();
            EXPECT_EQ(reader.state(), c.state) << c.name << ", " << how;
            EXPECT_EQ(reader.body(), c.body) << c.name << ", " << how;
            if (c.state != ReadState::kMalformed)
                EXPECT_EQ(reader.used(), c.bytes.size() - c.rest.size()) << c.name << ", " << how;
        };
        for (size_t split = 0; split <= c.bytes.size(); ++split) {
            HttpResponseReader reader;
            reader.feed(c.bytes.substr(0, split));
            reader.feed(c.bytes.substr(split));
            finish(reader, "split at " + std::to_string(split));
        }
        HttpResponseReader reader;
        for (char byte : c.bytes)
            reader.feed(std::string_view(&byte, 1));
        finish(reader, "byte by byte");
    }
}

TEST(HttpResponseReader, RefusesABodyOverItsLimit) {
    struct Case {
        std::string_view bytes;
        bool stream_ends;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nhello!\r\n5\r\n", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\n", false},
        {"HTTP/1.1 200 OK\r\n\r\n0123456789x", true},
    };
    for (const Case& c : cases) {
        HttpResponseReader reader(10);
        reader.feed(c.bytes);
        if (c.stream_ends)
            reader.end_of_stream();
        EXPECT_EQ(reader.state(), ReadState::kMalformed) << c.bytes;
    }
}

}  // namespace
}  // namespace quarnel
