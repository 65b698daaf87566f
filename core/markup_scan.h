#pragma once

// Pieces of tag reading shared by the charset pre-scan (bytes) and the markup-to-text step
// (UTF-16): blanks, ASCII case folding and a tag's attribute list, read the lenient way
// browsers read them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quarnel::markup {

template <typename Char>
constexpr bool is_space(Char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

template <typename Char>
constexpr Char ascii_lower(Char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Char>
constexpr bool is_ascii_letter(Char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Compares without ASCII case; `lower_ascii` must already be lower case ASCII.
template <typename Char>
bool equals_ignoring_case(std::basic_string_view<Char> text, std::string_view lower_ascii) {
    if (text.size() != lower_ascii.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (ascii_lower(text[i]) != static_cast<Char>(lower_ascii[i]))
            return false;
    }
    return true;
}

template <typename Char>
bool starts_with_ignoring_case(std::basic_string_view<Char> text, size_t at, std::string_view lower_ascii) {
    return at <= text.size() && text.size() - at >= lower_ascii.size() &&
           equals_ignoring_case(text.substr(at, lower_ascii.size()), lower_ascii);
}

template <typename Char>
std::basic_string_view<Char> trim(std::basic_string_view<Char> text) {
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

// Reads a tag's attributes. Constructed at the position just past the tag name; after the last
// attribute the position is past the closing '>' (or at the end of the text). Names come
// lower-cased (ASCII); values raw, without their quotes and not yet entity-decoded.
template <typename Char>
class AttributeReader {
public:
    using View = std::basic_string_view<Char>;
    struct Attribute {
        std::basic_string<Char> name;
        View value;
    };

    AttributeReader(View text, size_t at) : text_(text), at_(at) {}

    size_t position() const { return at_; }
    // Whether the tag ended with "/>".
    bool self_closing() const { return self_closing_; }

    std::optional<Attribute> next() {
        while (at_ < text_.size() && (is_space(text_[at_]) || text_[at_] == '/')) {
            self_closing_ = text_[at_] == '/';
            ++at_;
        }
        if (at_ >= text_.size())
            return std::nullopt;
        if (text_[at_] == '>') {
            ++at_;
            return std::nullopt;
        }
        self_closing_ = false;
        Attribute attribute;
        while (at_ < text_.size() && !is_space(text_[at_]) && text_[at_] != '/' && text_[at_] != '>' &&
               (text_[at_] != '=' || attribute.name.empty())) {
            attribute.name += ascii_lower(text_[at_]);
            ++at_;
        }
        skip_spaces();
        if (at_ >= text_.size() || text_[at_] != '=')
            return attribute;
        ++at_;
        skip_spaces();
        if (at_ >= text_.size())
            return attribute;
        Char quote = text_[at_];
        if (quote == '"' || quote == '\'') {
            size_t close = text_.find(quote, at_ + 1);
            if (close == View::npos)
                close = text_.size();
            attribute.value = text_.substr(at_ + 1, close - at_ - 1);
            at_ = close < text_.size() ? close + 1 : close;
            return attribute;
        }
        size_t start = at_;
        while (at_ < text_.size() && !is_space(text_[at_]) && text_[at_] != '>')
            ++at_;
        attribute.value = text_.substr(start, at_ - start);
        return attribute;
    }

    void skip_to_end() {
        while (next()) {
        }
    }

private:
    void skip_spaces() {
        while (at_ < text_.size() && is_space(text_[at_]))
            ++at_;
    }

    View text_;
    size_t at_;
    bool self_closing_ = false;
};

}  // namespace quarnel::markup
