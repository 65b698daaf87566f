// Any bytes as the host's command line (read as UTF-16) and as the browser view's stored
// properties: neither reader may read outside its data, and stored properties that load must
// save back to the same bytes.
#include "core/host_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quarnel::host_protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string line;
    for (size_t i = 0; i + 1 < size; i += 2)
        line.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    if (auto args = parse_host_command_line(line)) {
        if (args->cache.size() + args->user_agent.size() + args->extra.size() > line.size())
            abort();
    }

    ByteSpan bytes(data, size);
    if (auto props = load_browser_view_properties(bytes)) {
        Bytes saved = save_browser_view_properties(*props);
        // A version 0 record or trailing bytes need not round-trip exactly; the texts must.
        if (size > 0 && (saved.size() > size || !std::equal(saved.begin() + 4, saved.end(), data + 4)))
            abort();
    }
    return 0;
}
