// Any bytes as the browser view's stored properties: the reader may not read outside its data,
// and stored properties that load must save back to the same texts.
#include "core/host_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace quarnel::host_protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteSpan bytes(data, size);
    if (auto props = load_browser_view_properties(bytes)) {
        Bytes saved = save_browser_view_properties(*props);
        // A version 0 record or trailing bytes need not round-trip exactly; the texts must.
        if (size > 0 && (saved.size() > size || !std::equal(saved.begin() + 4, saved.end(), data + 4)))
            abort();
    }
    return 0;
}
