#include "devtools/devtools_endpoints.h"

namespace quarnel::devtools {
namespace {

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

}  // namespace quarnel::devtools
