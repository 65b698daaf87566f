// Page sources and interval texts of any content: the title and icon searches and the interval
// reading must stay inside their input, and a text found must lie inside the source.
#include "core/page_text.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string title = quarnel::text_between(bytes, "<title>", "</title>", 0, true);
    if (title.size() > size)
        abort();
    quarnel::clean_title(title);
    quarnel::text_between(bytes, "title\":\"", "\"", static_cast<long long>(size % 7), true);
    if (auto address = quarnel::icon_address(bytes); address && address->size() > size + 5)
        abort();
    quarnel::interval_milliseconds(bytes);
    return 0;
}
