#include "core/charset.h"

#include "core/markup_scan.h"

#include <array>
#include <cstdint>
#include <utility>

namespace quarnel {

namespace {

using markup::equals_ignoring_case;
using markup::is_space;
using markup::starts_with_ignoring_case;

std::string_view trim(std::string_view text) {
    return markup::trim(text);
}

struct Label {
    std::string_view name;
    int code_page;
};

// The labels pages use in practice, with the spellings browsers accept for them.
constexpr Label kLabels[] = {
    {"utf-8", 65001},
    {"utf8", 65001},
    {"unicode-1-1-utf-8", 65001},
    {"gbk", 936},
    {"gb2312", 936},
    {"gb_2312", 936},
    {"gb_2312-80", 936},
    {"csgb2312", 936},
    {"x-gbk", 936},
    {"cp936", 936},
    {"windows-936", 936},
    {"chinese", 936},
    {"iso-ir-58", 936},
    {"euc-cn", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"big5-hkscs", 950},
    {"cn-big5", 950},
    {"x-x-big5", 950},
    {"csbig5", 950},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"ms_kanji", 932},
    {"windows-31j", 932},
    {"x-sjis", 932},
    {"csshiftjis", 932},
    {"euc-jp", 20932},
    {"x-euc-jp", 20932},
    {"euc-kr", 949},
    {"ks_c_5601-1987", 949},
    {"windows-949", 949},
    {"cseuckr", 949},
    {"utf-16", 1200},
    {"utf-16le", 1200},
    {"unicode", 1200},
    {"utf-16be", 1201},
    {"us-ascii", 1252},
    {"ascii", 1252},
    {"iso-8859-1", 1252},
    {"iso8859-1", 1252},
    {"latin1", 1252},
    {"l1", 1252},
    {"windows-1252", 1252},
    {"cp1252", 1252},
    {"x-cp1252", 1252},
    {"iso-8859-2", 28592},
    {"iso-8859-5", 28595},
    {"iso-8859-7", 28597},
    {"iso-8859-9", 1254},
    {"iso-8859-15", 28605},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"windows-1253", 1253},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"koi8-r", 20866},
    {"koi8-u", 21866},
    {"tis-620", 874},
    {"windows-874", 874},
};

using AttributeReader = markup::AttributeReader<char>;

// The label of one meta tag whose attributes start at `reader`'s position; empty when the tag
// declares no charset.
std::string meta_label(AttributeReader& reader) {
    std::string_view charset, content;
    bool has_charset = false, has_content = false, is_content_type = false;
    while (auto attribute = reader.next()) {
        if (attribute->name == "charset" && !has_charset) {
            has_charset = true;
            charset = attribute->value;
        } else if (attribute->name == "content" && !has_content) {
            has_content = true;
            content = attribute->value;
        } else if (attribute->name == "http-equiv") {
            is_content_type = is_content_type || equals_ignoring_case(trim(attribute->value), "content-type");
        }
    }
    if (has_charset)
        return std::string(trim(charset));
    if (has_content && is_content_type)
        return std::string(charset_parameter(content));
    return {};
}

// The length of a valid UTF-8 sequence starting at `at`, or 0 when the bytes there are not one.
// Overlong forms, surrogates and values past U+10FFFF are invalid.
size_t utf8_sequence_length(std::string_view bytes, size_t at, char32_t& code_point) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    uint8_t lead = byte(at);
    if (lead < 0x80) {
        code_point = lead;
        return 1;
    }
    size_t length;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code_point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code_point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code_point = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() - at < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code_point = (code_point << 6) | (byte(at + i) & 0x3F);
    }
    if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF))
        return 0;
    return length;
}

// How many bytes an invalid sequence at `at` spans: its lead byte and the continuation bytes
// that could still have belonged to it, so one broken character gives one U+FFFD.
size_t invalid_utf8_span(std::string_view bytes, size_t at) {
    uint8_t lead = static_cast<uint8_t>(bytes[at]);
    size_t expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    size_t span = 1;
    while (span < expected && at + span < bytes.size() && (static_cast<uint8_t>(bytes[at + span]) & 0xC0) == 0x80)
        ++span;
    return span;
}

void append_code_point(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

std::u16string decode_utf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        size_t length = utf8_sequence_length(bytes, at, c);
        if (length == 0) {
            out += u'\uFFFD';
            at += invalid_utf8_span(bytes, at);
        } else {
            append_code_point(out, c);
            at += length;
        }
    }
    return out;
}

std::u16string decode_utf16(std::string_view bytes, bool big_endian) {
    std::u16string out;
    out.reserve(bytes.size() / 2 + 1);
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        auto first = static_cast<uint8_t>(bytes[at]), second = static_cast<uint8_t>(bytes[at + 1]);
        out += static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
    }
    if (bytes.size() % 2 != 0)
        out += u'\uFFFD';
    return out;
}

// windows-1252 differs from Latin-1 in 0x80-0x9F; the five unassigned bytes map to the C1
// controls, as browsers decode them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char16_t windows1252_to_unicode(unsigned char byte) {
    return (byte >= 0x80 && byte < 0xA0) ? kWindows1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

namespace {

std::u16string decode_windows1252(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char b : bytes) {
        auto byte = static_cast<uint8_t>(b);
        out += windows1252_to_unicode(byte);
    }
    return out;
}

}  // namespace

int code_page_of_label(std::string_view label) {
    label = trim(label);
    for (const Label& known : kLabels) {
        if (equals_ignoring_case(label, known.name))
            return known.code_page;
    }
    return 0;
}

std::string_view charset_parameter(std::string_view content_type) {
    size_t at = 0;
    while (at < content_type.size()) {
        if (!starts_with_ignoring_case(content_type, at, "charset")) {
            ++at;
            continue;
        }
        at += 7;
        while (at < content_type.size() && is_space(content_type[at]))
            ++at;
        if (at >= content_type.size() || content_type[at] != '=')
            continue;
        ++at;
        while (at < content_type.size() && is_space(content_type[at]))
            ++at;
        if (at >= content_type.size())
            return {};
        char quote = content_type[at];
        if (quote == '"' || quote == '\'') {
            size_t close = content_type.find(quote, at + 1);
            if (close == std::string_view::npos)
                return {};
            return trim(content_type.substr(at + 1, close - at - 1));
        }
        size_t end = at;
        while (end < content_type.size() && !is_space(content_type[end]) && content_type[end] != ';')
            ++end;
        return content_type.substr(at, end - at);
    }
    return {};
}

std::string charset_of_meta(std::string_view body) {
    std::string_view text = body.substr(0, kMetaScanLimit);
    size_t at = 0;
    while (at < text.size()) {
        if (text[at] != '<') {
            ++at;
            continue;
        }
        if (text.compare(at, 4, "<!--") == 0) {
            size_t close = text.find("-->", at + 4);
            if (close == std::string_view::npos)
                break;
            at = close + 3;
        } else if (starts_with_ignoring_case(text, at, "<meta") && at + 5 < text.size() &&
                   (is_space(text[at + 5]) || text[at + 5] == '/')) {
            AttributeReader reader(text, at + 5);
            std::string label = meta_label(reader);
            at = reader.position();
            if (code_page_of_label(label) != 0)
                return label;
        } else if (at + 1 < text.size() &&
                   (markup::is_ascii_letter(text[at + 1]) ||
                    (text[at + 1] == '/' && at + 2 < text.size() && markup::is_ascii_letter(text[at + 2])))) {
            // Another tag: its attributes are skipped whole, so a charset written inside an
            // attribute value is not taken for a declaration.
            size_t name_end = at + 1;
            while (name_end < text.size() && !is_space(text[name_end]) && text[name_end] != '>')
                ++name_end;
            AttributeReader reader(text, name_end);
            reader.skip_to_end();
            at = reader.position();
        } else if (at + 1 < text.size() && (text[at + 1] == '!' || text[at + 1] == '/' || text[at + 1] == '?')) {
            size_t close = text.find('>', at + 1);
            if (close == std::string_view::npos)
                break;
            at = close + 1;
        } else {
            ++at;
        }
    }
    return {};
}

bool is_valid_utf8(std::string_view bytes) {
    for (size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        size_t length = utf8_sequence_length(bytes, at, c);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

BodyCharset detect_body_charset(std::string_view content_type, std::string_view body) {
    if (body.starts_with("\xEF\xBB\xBF"))
        return {kCodePageUtf8, 3};
    if (body.starts_with("\xFF\xFE"))
        return {kCodePageUtf16Le, 2};
    if (body.starts_with("\xFE\xFF"))
        return {kCodePageUtf16Be, 2};
    if (int code_page = code_page_of_label(charset_parameter(content_type)))
        return {code_page, 0};
    if (int code_page = code_page_of_label(charset_of_meta(body))) {
        // A page whose meta tag could be read as ASCII cannot really be UTF-16.
        if (code_page == kCodePageUtf16Le || code_page == kCodePageUtf16Be)
            code_page = kCodePageUtf8;
        return {code_page, 0};
    }
    if (is_valid_utf8(body))
        return {kCodePageUtf8, 0};
    return {kCodePageGbk, 0};
}

std::optional<std::u16string> decode_without_tables(std::string_view bytes, int code_page) {
    switch (code_page) {
        case kCodePageUtf8:
            return decode_utf8(bytes);
        case kCodePageUtf16Le:
            return decode_utf16(bytes, false);
        case kCodePageUtf16Be:
            return decode_utf16(bytes, true);
        case kCodePageWindows1252:
            return decode_windows1252(bytes);
        default:
            return std::nullopt;
    }
}

}  // namespace quarnel
