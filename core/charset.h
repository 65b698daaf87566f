#pragma once

// Which character set a fetched page is written in, and decoding the ones that need no system
// tables. Character sets are named by their Windows code page numbers (plain integers here; the
// host hands the others to the system's converter).
//
// The page's bytes are read as: a byte-order mark, else the charset of the Content-Type
// header, else the charset a meta tag near the top declares, else UTF-8 when the bytes are
// valid UTF-8, else GBK (the pages this tool is made for are Chinese).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

inline constexpr int kCodePageUtf8 = 65001;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf16Le = 1200;
inline constexpr int kCodePageUtf16Be = 1201;
inline constexpr int kCodePageWindows1252 = 1252;

// How far into the page a meta tag is looked for.
inline constexpr size_t kMetaScanLimit = 16 * 1024;

// The code page of a charset label ("GB2312", " utf-8 ", "latin1"), compared without case and
// surrounding blanks; 0 for a label it does not know.
int code_page_of_label(std::string_view label);

// The value of the charset parameter in a Content-Type value or a meta tag's content
// attribute ("text/html; charset=\"gbk\"" gives "gbk"); empty when there is none.
std::string_view charset_parameter(std::string_view content_type);

// The charset label declared by the first meta tag that declares a known one
// (<meta charset=...> or <meta http-equiv="Content-Type" content="...; charset=...">) within the
// first kMetaScanLimit bytes, skipping comments and the attributes of other tags; empty when
// there is none.
std::string charset_of_meta(std::string_view body);

bool is_valid_utf8(std::string_view bytes);

struct BodyCharset {
    int code_page = kCodePageGbk;
    size_t bom_size = 0;  // bytes of byte-order mark at the start, not part of the text
};

BodyCharset detect_body_charset(std::string_view content_type, std::string_view body);

// Decodes UTF-8 (each invalid sequence becomes U+FFFD), UTF-16 in either byte order (an odd last
// byte becomes U+FFFD) and windows-1252. Nothing for any other code page: those need the system.
std::optional<std::u16string> decode_without_tables(std::string_view bytes, int code_page);

// One windows-1252 byte as a UTF-16 unit (numeric character references in 0x80-0x9F mean these).
char16_t windows1252_to_unicode(unsigned char byte);

}  // namespace quarnel
