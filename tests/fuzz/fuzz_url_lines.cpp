// Address text of any bytes: extracting the addresses must not read outside the text, and every
// address must be a prefix-anchored slice of a line that starts with "http".
#include "core/url_lines.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::string_view url : quarnel::extract_urls(text)) {
        if (url.substr(0, 4) != "http" || url.data() < text.data() ||
            url.data() + url.size() > text.data() + text.size())
            abort();
    }
    return 0;
}
