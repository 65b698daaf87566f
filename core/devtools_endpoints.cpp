#include "core/devtools_endpoints.h"

#include <nlohmann/json.hpp>

namespace quarnel::devtools {
namespace {

using nlohmann::json;

// A decimal port, digits only, 1 to 65535; 0 when it is not one.
int parse_port(std::string_view text) {
    if (text.empty() || text.size() > 5)
        return 0;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? port : 0;
}

// The line at the start of `text` without its line end, and `text` moved past it; nothing when
// no LF ends it.
std::optional<std::string_view> take_line(std::string_view& text) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string string_member(const json& object, const char* name) {
    auto member = object.find(name);
    return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

}  // namespace

std::optional<ActivePort> parse_active_port(std::string_view file) {
    auto first = take_line(file);
    if (!first)
        return std::nullopt;
    // The second line may end the file without a line end.
    std::string_view path = file;
    if (auto line = take_line(file))
        path = *line;
    else
        file = {};
    int port = parse_port(*first);
    if (port == 0 || !file.empty() || path.size() < 2 || path[0] != '/')
        return std::nullopt;
    for (char c : path)
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7F')
            return std::nullopt;
    return ActivePort{port, std::string(path)};
}

std::string endpoint_request(std::string_view method, std::string_view host_port, std::string_view path) {
    std::string request(method);
    request += ' ';
    request.append(path);
    request += " HTTP/1.1\r\nHost: ";
    request.append(host_port);
    // A PUT without a body still says so, or a server may wait for one.
    request += method == "GET" ? "\r\n\r\n" : "\r\nContent-Length: 0\r\n\r\n";
    return request;
}

std::optional<BrowserVersion> parse_version(std::string_view body) {
    json value = json::parse(body.begin(), body.end(), nullptr, false);
    if (!value.is_object())
        return std::nullopt;
    BrowserVersion version{string_member(value, "Browser"), string_member(value, "Protocol-Version"),
                           string_member(value, "User-Agent"), string_member(value, "webSocketDebuggerUrl")};
    if (version.websocket_url.empty())
        return std::nullopt;
    return version;
}

std::optional<std::vector<PageTarget>> parse_target_list(std::string_view body) {
    json value = json::parse(body.begin(), body.end(), nullptr, false);
    if (!value.is_array())
        return std::nullopt;
    std::vector<PageTarget> pages;
    for (const json& target : value) {
        if (!target.is_object() || string_member(target, "type") != "page")
            continue;
        PageTarget page{string_member(target, "id"), string_member(target, "url"), string_member(target, "title"),
                        string_member(target, "webSocketDebuggerUrl")};
        if (!page.id.empty())
            pages.push_back(std::move(page));
    }
    return pages;
}

std::optional<WebSocketAddress> parse_websocket_url(std::string_view url) {
    constexpr std::string_view kScheme = "ws://";
    if (url.substr(0, kScheme.size()) != kScheme)
        return std::nullopt;
    url.remove_prefix(kScheme.size());
    size_t slash = url.find('/');
    std::string_view host_port = url.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? std::string_view("/") : url.substr(slash);
    // The port follows the last colon, after any bracketed IPv6 address.
    size_t colon = host_port.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || host_port.find(']', colon) != std::string_view::npos)
        return std::nullopt;
    if (parse_port(host_port.substr(colon + 1)) == 0)
        return std::nullopt;
    return WebSocketAddress{std::string(host_port), std::string(path)};
}

}  // namespace quarnel::devtools
