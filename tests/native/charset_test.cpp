#include "core/charset.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

TEST(Charset, KnowsTheCommonLabelsWithoutCaseOrBlanks) {
    const struct {
        const char* label;
        int code_page;
    } cases[] = {
        {"utf-8", 65001},     {" UTF-8 ", 65001}, {"utf8", 65001},        {"GB2312", 936},    {"gbk", 936},
        {"x-gbk", 936},       {"GB18030", 54936}, {"Big5", 950},          {"Shift_JIS", 932}, {"euc-kr", 949},
        {"ISO-8859-1", 1252}, {"us-ascii", 1252}, {"windows-1251", 1251}, {"utf-16le", 1200}, {"", 0},
        {"klingon", 0},       {"utf-8x", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(code_page_of_label(c.label), c.code_page) << c.label;
}

TEST(Charset, FindsTheCharsetParameter) {
    const struct {
        const char* content_type;
        const char* charset;
    } cases[] = {
        {"text/html; charset=gbk", "gbk"},
        {"text/html;charset=UTF-8", "UTF-8"},
        {"text/html; CHARSET = \"gb2312\" ; q=1", "gb2312"},
        {"text/html; charset='big5'", "big5"},
        {"text/html; charset=utf-8 ; x=y", "utf-8"},
        {"text/html", ""},
        {"", ""},
        {"text/html; charset=", ""},
        {"text/html; charset=\"unclosed", ""},
        {"text/html; charsetx; charset=gbk", "gbk"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(charset_parameter(c.content_type), c.charset) << c.content_type;
}

TEST(Charset, FindsTheMetaDeclaration) {
    const struct {
        const char* body;
        const char* label;
    } cases[] = {
        {"<html><head><meta charset=\"gbk\"><title>x</title>", "gbk"},
        {"<META CHARSET=UTF-8>", "UTF-8"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\" />", "gb2312"},
        {"<meta content='text/html; charset=big5' http-equiv='content-type'>", "big5"},
        {"<meta content=\"text/html; charset=gbk\">", ""},  // content without http-equiv declares nothing
        {"<!-- <meta charset=\"gbk\"> --><meta charset=\"utf-8\">", "utf-8"},
        {"<a title='<meta charset=gbk>'>x</a><meta charset=utf-8>", "utf-8"},
        {"<meta charset=\"nonsense\"><meta charset=\"gbk\">", "gbk"},
        {"<metadata charset=gbk>", ""},
        {"<meta charset=\"gbk", "gbk"},
        {"no markup at all", ""},
        {"<meta", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(charset_of_meta(c.body), c.label) << c.body;
}

TEST(Charset, LooksForMetaOnlyNearTheTop) {
    std::string body(kMetaScanLimit, ' ');
    body += "<meta charset=gbk>";
    EXPECT_EQ(charset_of_meta(body), "");
}

TEST(Charset, ValidatesUtf8Strictly) {
    const struct {
        const char* bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain ascii", true},
        {"\xE4\xB8\xAD\xE6\x96\x87", true},  // 中文
        {"\xF0\x9F\x98\x80", true},          // U+1F600
        {"\xD6\xD0\xCE\xC4", false},         // 中文 in GBK
        {"\xC0\xAF", false},                 // overlong '/'
        {"\xE0\x80\xAF", false},             // overlong
        {"\xED\xA0\x80", false},             // a surrogate
        {"\xF4\x90\x80\x80", false},         // past U+10FFFF
        {"\xE4\xB8", false},                 // cut short
        {"\x80", false},                     // stray continuation byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(is_valid_utf8(c.bytes), c.valid) << testing::PrintToString(std::string(c.bytes));
}

TEST(Charset, DecidesInTheOrderBomHeaderMetaUtf8Gbk) {
    const std::string gbk_body = "<p>\xD6\xD0\xCE\xC4</p>";
    const std::string utf8_body = "<p>\xE4\xB8\xAD\xE6\x96\x87</p>";
    const struct {
        const char* why;
        std::string content_type;
        std::string body;
        int code_page;
        size_t bom;
    } cases[] = {
        {"utf-8 bom beats the header", "text/html; charset=gbk", "\xEF\xBB\xBFx", 65001, 3},
        {"utf-16le bom", "", "\xFF\xFEx\0", 1200, 2},
        {"utf-16be bom", "", "\xFE\xFF\0x", 1201, 2},
        {"header beats meta", "text/html; charset=utf-8", "<meta charset=gbk>" + gbk_body, 65001, 0},
        {"unknown header label falls through to meta", "text/html; charset=bogus", "<meta charset=gbk>", 936, 0},
        {"meta", "text/html", "<meta charset=big5>" + utf8_body, 950, 0},
        {"meta claiming utf-16 means utf-8", "", "<meta charset=utf-16>", 65001, 0},
        {"valid utf-8", "text/html", utf8_body, 65001, 0},
        {"ascii counts as utf-8", "", "<p>hello</p>", 65001, 0},
        {"else gbk", "", gbk_body, 936, 0},
    };
    for (const auto& c : cases) {
        BodyCharset charset = detect_body_charset(c.content_type, c.body);
        EXPECT_EQ(charset.code_page, c.code_page) << c.why;
        EXPECT_EQ(charset.bom_size, c.bom) << c.why;
    }
}

TEST(Charset, DecodesUtf8ReplacingBrokenSequences) {
    EXPECT_EQ(decode_without_tables("a\xE4\xB8\xAD"
                                    "b",
                                    kCodePageUtf8),
              u"a\u4E2Db");
    EXPECT_EQ(decode_without_tables("\xF0\x9F\x98\x80", kCodePageUtf8), u"\U0001F600");
    EXPECT_EQ(decode_without_tables("a\xE4\xB8"
                                    "b",
                                    kCodePageUtf8),
              u"a\uFFFDb");
    EXPECT_EQ(decode_without_tables("\xFF\xFE", kCodePageUtf8), u"\uFFFD\uFFFD");
    EXPECT_EQ(decode_without_tables("\xE4\xB8", kCodePageUtf8), u"\uFFFD");
}

TEST(Charset, DecodesUtf16AndWindows1252) {
    EXPECT_EQ(decode_without_tables(std::string("\x2D\x4E"
                                                "a\0",
                                                4),
                                    kCodePageUtf16Le),
              u"\u4E2Da");
    EXPECT_EQ(decode_without_tables(std::string("\x4E\x2D\0a\0", 5), kCodePageUtf16Be), u"\u4E2Da\uFFFD");
    EXPECT_EQ(decode_without_tables("\x80\xE9\x9F", kCodePageWindows1252), u"\u20AC\u00E9\u0178");
}

TEST(Charset, LeavesTableCodePagesToTheSystem) {
    EXPECT_FALSE(decode_without_tables("\xD6\xD0", kCodePageGbk));
    EXPECT_FALSE(decode_without_tables("x", 950));
}

}  // namespace
}  // namespace quarnel
