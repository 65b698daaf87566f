#include "host/page_decode.h"

#include "core/charset.h"
#include "winbase/text.h"

namespace quarnel::host {

std::wstring to_wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring decode_body(std::string_view content_type, std::string_view body) {
    BodyCharset charset = detect_body_charset(content_type, body);
    std::string_view bytes = body.substr(charset.bom_size);
    if (auto decoded = decode_without_tables(bytes, charset.code_page))
        return to_wide(*decoded);
    std::wstring text = win::multibyte_to_wide(static_cast<unsigned>(charset.code_page), bytes);
    // A code page this system lacks is read as GBK, the likeliest charset of the pages served.
    if (text.empty() && !bytes.empty() && charset.code_page != kCodePageGbk)
        text = win::multibyte_to_wide(static_cast<unsigned>(kCodePageGbk), bytes);
    return text;
}

}  // namespace quarnel::host
