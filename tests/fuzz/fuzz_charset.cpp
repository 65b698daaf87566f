// Page bytes of any kind: the charset decision must not read outside them and must name a
// code page; decoding must give one unit per UTF-16 byte pair.
#include "core/charset.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t split = size > 0 ? data[0] % (size + 1) : 0;
    quarnel::BodyCharset charset = quarnel::detect_body_charset(bytes.substr(0, split), bytes.substr(split));
    if (charset.code_page == 0 || charset.bom_size > size)
        abort();
    auto utf8 = quarnel::decode_without_tables(bytes, quarnel::kCodePageUtf8);
    if (!utf8 || utf8->size() > size ||
        (quarnel::is_valid_utf8(bytes) && utf8->find(u'\uFFFD') != std::u16string::npos &&
         bytes.find("\xEF\xBF\xBD") == std::string_view::npos))
        abort();
    auto utf16 = quarnel::decode_without_tables(bytes, quarnel::kCodePageUtf16Le);
    if (!utf16 || utf16->size() != (size + 1) / 2)
        abort();
    return 0;
}
