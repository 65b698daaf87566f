#pragma once

// What the host reads on its way to a browser's DevTools: the DevTools port file the browser
// writes into its profile folder when started with --remote-debugging-port=0.

#include <optional>
#include <string>
#include <string_view>

namespace quarnel::devtools {

// The file "DevToolsActivePort": the port on the first line, the browser's WebSocket path on the
// second.
struct ActivePort {
    int port = 0;
    std::string browser_path;  // "/devtools/browser/<id>"
    bool operator==(const ActivePort&) const = default;
};

// Nothing unless the first line is a decimal port (1 to 65535) and the second a path starting
// with "/" with no blank or control byte; lines may end in LF or CR LF, and nothing but a line
// end may follow the second. A file read while the browser still writes it is refused too.
std::optional<ActivePort> parse_active_port(std::string_view file);

}  // namespace quarnel::devtools
