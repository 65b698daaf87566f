#pragma once

// The markup-to-text step of the built-in page engine: a page's markup becomes its title and
// readable text, in blocks of text runs, with its links and where they lead. Scripts, styles
// and comments are dropped, entities decoded, blanks collapsed as a browser collapses them.
// Text is UTF-16 (char16_t, so the same code runs on Linux and Windows).

#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// A stretch of text in one style: part of link `link`, or of no link when -1.
struct TextRun {
    std::u16string text;
    int link = -1;
};

// One line or paragraph of the page, drawn starting on a new line.
struct TextBlock {
    std::vector<TextRun> runs;
    int heading = 0;  // 1 to 6 inside <h1> to <h6>, else 0
};

struct PageLink {
    std::u16string url;     // absolute address
    std::u16string target;  // the target attribute ("_blank", ...), may be empty
};

struct PageText {
    std::u16string title;  // blanks collapsed, empty when the page has none
    std::vector<TextBlock> blocks;
    std::vector<PageLink> links;
};

// Reads `html`, a page fetched from `page_url`. Relative link addresses are resolved against
// the page's <base href>, else `page_url`. Links that lead nowhere loadable (javascript:,
// mailto:, no address) are kept as plain text.
PageText html_to_text(std::u16string_view html, std::u16string_view page_url);

// Decodes character references (&amp; &#20013; &#x4E2D; and the common named ones). Inside an
// attribute value a reference without its ';' followed by a letter, digit or '=' stays as it
// is, so query strings such as "?a=1&copy=2" survive.
std::u16string decode_entities(std::u16string_view text, bool in_attribute = false);

// The address `reference` points to, read relative to the absolute address `base`
// (http://a/b/c + ../d gives http://a/d). Backslashes count as slashes and blanks around it are
// dropped. Empty when a relative reference has no base to read it against.
std::u16string resolve_url(std::u16string_view base, std::u16string_view reference);

// What to load for an address the user or the application typed: blanks trimmed, "about:blank"
// for nothing, "http://" put in front when it names no scheme ("www.example.com/a").
std::u16string address_to_load(std::u16string_view typed);

// Whether the address has the scheme, compared without case ("http", "https", ...).
bool has_scheme(std::u16string_view url, std::string_view lower_scheme);

}  // namespace quarnel
