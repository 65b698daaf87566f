#include "devtools/base64.h"
#include "devtools/sha1.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quarnel {
namespace {

std::string hex(const Sha1Digest& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (auto byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

TEST(Sha1, MatchesKnownDigestsAcrossThePaddingBoundaries) {
    struct Case {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {std::string(119, 'a'), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
        {std::string(1000, 'a'), "291e9a6c66994949b57ba5e650361e98fc36b1ba"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hex(sha1(c.input)), c.digest) << "input of " << c.input.size() << " bytes";
}

TEST(Base64, EncodesAndDecodesEachPaddingLength) {
    struct Case {
        std::string bytes;
        const char* text;
    } cases[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\x00\xff\xfe\x3e\x3f", 5), "AP/+Pj8="},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base64_encode(c.bytes), c.text);
        EXPECT_EQ(base64_decode(c.text), c.bytes) << c.text;
    }
}

TEST(Base64, RefusesTextThatIsNotPaddedBase64) {
    for (const char* text : {"Zg", "Zm9", "Zg=", "Z===", "Zg==Zg==", "Zm9v\n", "Zm 9", "Zm9-", "=Zm9"})
        EXPECT_EQ(base64_decode(text), std::nullopt) << text;
}

}  // namespace
}  // namespace quarnel
