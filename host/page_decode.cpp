#include "host/page_decode.h"

#include "core/charset.h"

#include <windows.h>

namespace quarnel::host {

namespace {

// Code pages the system converts; 0 when it cannot convert this one.
std::wstring decode_by_system(std::string_view bytes, int code_page) {
    if (bytes.empty())
        return {};
    int size = static_cast<int>(bytes.size());
    int n = MultiByteToWideChar(static_cast<UINT>(code_page), 0, bytes.data(), size, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(static_cast<UINT>(code_page), 0, bytes.data(), size, out.data(), n);
    return out;
}

}  // namespace

std::wstring to_wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string to_u16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

std::wstring decode_body(std::string_view content_type, std::string_view body) {
    BodyCharset charset = detect_body_charset(content_type, body);
    std::string_view bytes = body.substr(charset.bom_size);
    if (auto decoded = decode_without_tables(bytes, charset.code_page))
        return to_wide(*decoded);
    std::wstring text = decode_by_system(bytes, charset.code_page);
    // A code page this system lacks is read as GBK, the likeliest charset of the pages served.
    if (text.empty() && !bytes.empty() && charset.code_page != kCodePageGbk)
        text = decode_by_system(bytes, kCodePageGbk);
    return text;
}

}  // namespace quarnel::host
