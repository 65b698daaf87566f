#include "core/http_request.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace quarnel {
namespace {

TEST(WithoutFragment, CutsAtTheFirstHashOnly) {
    EXPECT_EQ(without_fragment(""), "");
    EXPECT_EQ(without_fragment("http://a/b?c=d"), "http://a/b?c=d");
    EXPECT_EQ(without_fragment("http://a/b#top"), "http://a/b");
    EXPECT_EQ(without_fragment("http://a/b?q=1#x#y"), "http://a/b?q=1");
    EXPECT_EQ(without_fragment("#http://a/"), "");
    // Escaped hashes are not fragment markers.
    EXPECT_EQ(without_fragment("http://a/%23b"), "http://a/%23b");
}

TEST(ParseLeadingDecimal, ReadsLikeStrtol) {
    struct Case {
        std::string_view text;
        long long value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"0", 0},
        {"100", 100},
        {"  42", 42},
        {"\t7", 7},
        {"+5", 5},
        {"-5", -5},
        {"12abc", 12},
        {"1 2", 1},
        {"- 5", 0},
        {"500000", 500000},
        {"2147483648", 2147483648LL},
        {"99999999999999999999999", 9223372036854775807LL},
        {"-99999999999999999999999", -9223372036854775807LL - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_leading_decimal(c.text), c.value) << "text: \"" << c.text << '"';
}

TEST(ReadChunkSize, FollowsTheContentLength) {
    struct Case {
        std::optional<std::string_view> header;
        size_t chunk;
    } cases[] = {
        {std::nullopt, 10240},
        {"", 10240},
        {"0", 10240},
        {"-1", 10240},
        {"junk", 10240},
        {"1", 2},
        {"100", 101},
        {"102398", 102399},
        {"102399", 102400},
        {"102400", 102400},
        {"500000", 102400},
        {"9223372036854775807", 102400},
        {"99999999999999999999999", 102400},
    };
    for (const Case& c : cases)
        EXPECT_EQ(read_chunk_size(c.header), c.chunk) << "header: " << (c.header ? *c.header : "(none)");
}

}  // namespace
}  // namespace quarnel
