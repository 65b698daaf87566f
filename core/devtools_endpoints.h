#pragma once

// What the host reads on its way to a browser's DevTools: the DevTools port file the browser
// writes into its profile folder when started with --remote-debugging-port=0, the answers of the
// HTTP endpoints /json/version and /json/list, and the WebSocket addresses they give.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A request to a DevTools HTTP endpoint ("GET", "/json/version"); /json/new wants "PUT".
std::string endpoint_request(std::string_view method, std::string_view host_port, std::string_view path);

// /json/version.
struct BrowserVersion {
    std::string browser;           // "Chrome/120.0.6099.224"
    std::string protocol_version;  // "1.3"
    std::string user_agent;
    std::string websocket_url;  // the browser's own DevTools connection
    bool operator==(const BrowserVersion&) const = default;
};
// Nothing when the body is not a JSON object with a string webSocketDebuggerUrl; the other
// fields are empty when missing.
std::optional<BrowserVersion> parse_version(std::string_view body);

// One page of /json/list (the list also holds service workers, extensions' pages and the
// browser's own UI, which are left out).
struct PageTarget {
    std::string id;
    std::string url;
    std::string title;
    std::string websocket_url;  // empty while another client is attached to the page
    bool operator==(const PageTarget&) const = default;
};
// The targets whose type is "page", in the list's order; nothing when the body is not a JSON
// array. An element that is not an object or has no string id is passed over.
std::optional<std::vector<PageTarget>> parse_target_list(std::string_view body);

// Where a "ws://host:port/path" address leads, in the pieces the handshake wants.
struct WebSocketAddress {
    std::string host_port;  // "127.0.0.1:9222"
    std::string path;       // "/devtools/page/<id>", "/" when the address has none
    bool operator==(const WebSocketAddress&) const = default;
};
// Nothing for another scheme (wss:// included: the DevTools connection is local and plain), an
// empty host, or a port that is missing or not 1 to 65535.
std::optional<WebSocketAddress> parse_websocket_url(std::string_view url);

}  // namespace quarnel::devtools
