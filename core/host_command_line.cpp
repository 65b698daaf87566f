#include "core/host_command_line.h"

#include <limits>

namespace quarnel {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the command line from left to right; every step either consumes what it expects or
// reports failure.
class Reader {
public:
    explicit Reader(std::string_view text) : rest_(text) {}

    void skip_blanks() {
        while (!rest_.empty() && is_blank(rest_.front()))
            rest_.remove_prefix(1);
    }

    bool starts_with(std::string_view prefix) const { return rest_.starts_with(prefix); }
    std::string_view rest() const { return rest_; }

    // Skips one token: a double-quoted stretch or a run of non-blanks.
    void skip_token() {
        if (!rest_.empty() && rest_.front() == '"') {
            size_t close = rest_.find('"', 1);
            rest_.remove_prefix(close == std::string_view::npos ? rest_.size() : close + 1);
        }
        while (!rest_.empty() && !is_blank(rest_.front()))
            rest_.remove_prefix(1);
    }

    bool take(std::string_view expected) {
        if (!rest_.starts_with(expected))
            return false;
        rest_.remove_prefix(expected.size());
        return true;
    }

    // An option's value ends at a blank or the end; something must follow as a separator or the
    // line must end there.
    bool take_blank_or_end() {
        if (rest_.empty())
            return true;
        if (!is_blank(rest_.front()))
            return false;
        skip_blanks();
        return true;
    }

    std::optional<int32_t> take_int32() {
        bool negative = take("-");
        int64_t value = 0;
        size_t digits = 0;
        while (digits < rest_.size() && rest_[digits] >= '0' && rest_[digits] <= '9') {
            value = value * 10 + (rest_[digits] - '0');
            if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1)
                return std::nullopt;
            ++digits;
        }
        if (digits == 0)
            return std::nullopt;
        rest_.remove_prefix(digits);
        if (negative)
            value = -value;
        if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min())
            return std::nullopt;
        return static_cast<int32_t>(value);
    }

    // A double-quoted value. Values are written without escapes, so the closing quote is the
    // first quote that is followed by a blank or by the end of the line; a user-agent string
    // with a quote inside it (rare, but legal) survives that way.
    std::optional<std::string> take_quoted() {
        if (!take("\""))
            return std::nullopt;
        for (size_t i = 0; i < rest_.size(); ++i) {
            if (rest_[i] == '"' && (i + 1 == rest_.size() || is_blank(rest_[i + 1]))) {
                std::string value(rest_.substr(0, i));
                rest_.remove_prefix(i + 1);
                return value;
            }
        }
        return std::nullopt;
    }

private:
    std::string_view rest_;
};

}  // namespace

std::string build_host_command_line(const HostCommandLine& line) {
    std::string out = " --Open-Ver=1.0 --Open-Handler=" + std::to_string(line.handler) +
                      " --Open-View=" + std::to_string(line.view) + " ";
    out += "--open-cache-path=\"" + line.cache_path + "\" ";
    out += "--open-user-agent=\"" + line.user_agent + "\" ";
    out += line.extra;
    return out;
}

std::optional<HostCommandLine> parse_host_command_line(std::string_view text) {
    Reader reader(text);
    reader.skip_blanks();
    if (!reader.starts_with("--")) {
        reader.skip_token();
        reader.skip_blanks();
    }

    // Each option is its name, its value and then a blank or the end of the line.
    auto number_option = [&](std::string_view name) -> std::optional<int32_t> {
        if (!reader.take(name))
            return std::nullopt;
        std::optional<int32_t> value = reader.take_int32();
        return value && reader.take_blank_or_end() ? value : std::nullopt;
    };
    auto quoted_option = [&](std::string_view name) -> std::optional<std::string> {
        if (!reader.take(name))
            return std::nullopt;
        std::optional<std::string> value = reader.take_quoted();
        return value && reader.take_blank_or_end() ? value : std::nullopt;
    };

    if (!reader.take("--Open-Ver=1.0") || !reader.take_blank_or_end())
        return std::nullopt;
    std::optional<int32_t> handler = number_option("--Open-Handler=");
    if (!handler)
        return std::nullopt;
    std::optional<int32_t> view = number_option("--Open-View=");
    if (!view || *view == 0)
        return std::nullopt;
    std::optional<std::string> cache_path = quoted_option("--open-cache-path=");
    if (!cache_path)
        return std::nullopt;
    std::optional<std::string> user_agent = quoted_option("--open-user-agent=");
    if (!user_agent)
        return std::nullopt;

    HostCommandLine line;
    line.handler = *handler;
    line.view = *view;
    line.cache_path = std::move(*cache_path);
    line.user_agent = std::move(*user_agent);
    line.extra = std::string(reader.rest());
    return line;
}

}  // namespace quarnel
