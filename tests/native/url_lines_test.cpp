#include "core/url_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnel {
namespace {

std::vector<std::string> urls(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view u : extract_urls(text))
        out.emplace_back(u);
    return out;
}

using Urls = std::vector<std::string>;

TEST(ExtractUrls, EmptyTextAndTrailingSeparatorsGiveNoExtraRows) {
    EXPECT_EQ(urls(""), Urls{});
    EXPECT_EQ(urls("\r\n"), Urls{});
    EXPECT_EQ(urls("http://a/\r\n"), Urls{"http://a/"});
    EXPECT_EQ(urls("http://a/\r\n\r\nhttp://b/"), (Urls{"http://a/", "http://b/"}));
}

TEST(ExtractUrls, LineFeedAloneEndsALineAndACarriageReturnAloneDoesNot) {
    EXPECT_EQ(urls("http://a/\nhttp://b/\n\nhttp://c/\n"), (Urls{"http://a/", "http://b/", "http://c/"}));
    EXPECT_EQ(urls("http://a/\r\nhttp://b/\nhttp://c/"), (Urls{"http://a/", "http://b/", "http://c/"}));
    EXPECT_EQ(urls("http://a/\r\r\nhttp://b/\rx"), (Urls{"http://a/\r", "http://b/\rx"}));
}

TEST(ExtractUrls, OnlyLinesStartingWithLowerCaseHttpCount) {
    EXPECT_EQ(urls("www.a.com\r\nhttp://b/\r\nHTTP://c/\r\nhttps://d/\r\n http://e/\r\nhtt"),
              (Urls{"http://b/", "https://d/"}));
}

TEST(ExtractUrls, DuplicatesAreKeptAndSpacesStay) {
    EXPECT_EQ(urls("http://a/ \r\nhttp://a/ "), (Urls{"http://a/ ", "http://a/ "}));
}

TEST(ExtractUrls, SecondHttpCutsTheAddress) {
    EXPECT_EQ(urls("http://a/?u=http://b/"), Urls{"http://a/?u="});
    EXPECT_EQ(urls("http://a/http://b/http://c/"), Urls{"http://a/"});
}

TEST(ExtractUrls, LineThatIsOnlyTheSchemeGivesNoRow) {
    EXPECT_EQ(urls("http"), Urls{});
    EXPECT_EQ(urls("http\r\nhttp://a/"), Urls{"http://a/"});
    // "http" followed straight by another "http": an empty piece, so the address is "http".
    EXPECT_EQ(urls("httphttp"), Urls{"http"});
}

TEST(ExtractUrls, DoubleByteCharactersAreSteppedOverAsOneUnit) {
    // The trail byte of a double-byte character is never read as a CR, an LF or part of "http".
    EXPECT_EQ(urls("http://a/\xB0\r\nhttp://b/"), (Urls{"http://a/\xB0\r", "http://b/"}));
    EXPECT_EQ(urls("http://a/\xB0\nhttp://b/"), Urls{"http://a/\xB0\n"});
    EXPECT_EQ(urls("http://\xD6\xD0\xCE\xC4/\r\nhttp://b/"), (Urls{"http://\xD6\xD0\xCE\xC4/", "http://b/"}));
    EXPECT_EQ(urls("http://a/\xB0http"), Urls{"http://a/\xB0http"});
}

TEST(ExtractUrls, BadBytesNeitherCrashNorReadPastTheEnd) {
    EXPECT_EQ(urls("http://a/\x81"), Urls{"http://a/\x81"});
    EXPECT_EQ(urls(std::string_view("http://a/\0b\r\nhttp", 15)), Urls{std::string("http://a/\0b", 11)});
    EXPECT_EQ(urls("\xFF"), Urls{});
    std::string long_line = "http://a/" + std::string(1 << 20, 'x');
    EXPECT_EQ(urls(long_line), Urls{long_line});
}

}  // namespace
}  // namespace quarnel
