// Host command lines of any bytes (the form the host itself parses): parsing must not read
// outside them, and what it accepts must keep the values it found.
#include "core/host_command_line.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto line = quarnel::parse_host_command_line(text);
    if (line && (line->view == 0 || text.find("--Open-Ver=1.0") == std::string_view::npos ||
                 line->cache_path.size() + line->user_agent.size() + line->extra.size() > size))
        abort();
    return 0;
}
