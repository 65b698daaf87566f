#include "core/html_text.h"

#include "core/charset.h"
#include "core/markup_scan.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quarnel {

namespace {

using View = std::u16string_view;
using markup::ascii_lower;
using markup::equals_ignoring_case;
using markup::is_ascii_letter;
using markup::is_space;
using markup::starts_with_ignoring_case;

struct NamedEntity {
    std::string_view name;
    char16_t value;
};

// The named references pages use in practice; the rest of the long list is rare in Chinese
// pages and stays undecoded.
constexpr NamedEntity kNamedEntities[] = {
    {"amp", u'&'},      {"lt", u'<'},       {"gt", u'>'},       {"quot", u'"'},     {"apos", u'\''},
    {"nbsp", 0x00A0},   {"copy", 0x00A9},   {"reg", 0x00AE},    {"trade", 0x2122},  {"hellip", 0x2026},
    {"mdash", 0x2014},  {"ndash", 0x2013},  {"lsquo", 0x2018},  {"rsquo", 0x2019},  {"ldquo", 0x201C},
    {"rdquo", 0x201D},  {"sbquo", 0x201A},  {"bdquo", 0x201E},  {"laquo", 0x00AB},  {"raquo", 0x00BB},
    {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"middot", 0x00B7}, {"bull", 0x2022},   {"times", 0x00D7},
    {"divide", 0x00F7}, {"deg", 0x00B0},    {"plusmn", 0x00B1}, {"yen", 0x00A5},    {"euro", 0x20AC},
    {"pound", 0x00A3},  {"cent", 0x00A2},   {"sect", 0x00A7},   {"para", 0x00B6},   {"iexcl", 0x00A1},
    {"iquest", 0x00BF}, {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009}, {"zwnj", 0x200C},
    {"zwj", 0x200D},    {"lrm", 0x200E},    {"rlm", 0x200F},    {"shy", 0x00AD},    {"frac12", 0x00BD},
    {"frac14", 0x00BC}, {"frac34", 0x00BE}, {"sup1", 0x00B9},   {"sup2", 0x00B2},   {"sup3", 0x00B3},
    {"micro", 0x00B5},  {"larr", 0x2190},   {"uarr", 0x2191},   {"rarr", 0x2192},   {"darr", 0x2193},
    {"harr", 0x2194},   {"le", 0x2264},     {"ge", 0x2265},     {"ne", 0x2260},     {"infin", 0x221E},
    {"dagger", 0x2020}, {"Dagger", 0x2021}, {"permil", 0x2030}, {"prime", 0x2032},  {"hearts", 0x2665},
    {"not", 0x00AC},    {"ordf", 0x00AA},   {"ordm", 0x00BA},   {"acute", 0x00B4},  {"uml", 0x00A8},
    {"macr", 0x00AF},   {"cedil", 0x00B8},  {"curren", 0x00A4}, {"brvbar", 0x00A6}, {"szlig", 0x00DF},
    {"agrave", 0x00E0}, {"aacute", 0x00E1}, {"auml", 0x00E4},   {"eacute", 0x00E9}, {"egrave", 0x00E8},
    {"iacute", 0x00ED}, {"oacute", 0x00F3}, {"ouml", 0x00F6},   {"uacute", 0x00FA}, {"uuml", 0x00FC},
    {"ccedil", 0x00E7}, {"ntilde", 0x00F1}, {"Auml", 0x00C4},   {"Ouml", 0x00D6},   {"Uuml", 0x00DC},
    {"alpha", 0x03B1},  {"beta", 0x03B2},   {"pi", 0x03C0},     {"mu", 0x03BC},     {"Omega", 0x03A9},
};

// References a browser also accepts without their ';'.
constexpr std::string_view kLegacyEntities[] = {"amp", "lt", "gt", "quot", "nbsp", "copy", "reg"};

bool is_alnum(char16_t c) {
    return is_ascii_letter(c) || (c >= '0' && c <= '9');
}

bool name_equals(View text, std::string_view name) {
    return text.size() == name.size() && std::equal(text.begin(), text.end(), name.begin());
}

void append_code_point(std::u16string& out, uint32_t c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        out += u'\uFFFD';
    } else if (c >= 0x80 && c < 0xA0) {
        out += windows1252_to_unicode(static_cast<unsigned char>(c));
    } else if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

// Decodes the reference at text[at] == '&'. Returns how many units it spans, 0 when it is no
// reference (the '&' then stands for itself).
size_t decode_reference(View text, size_t at, bool in_attribute, std::u16string& out) {
    size_t i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex)
            ++i;
        size_t digits_start = i;
        uint32_t value = 0;
        for (; i < text.size(); ++i) {
            char16_t c = text[i];
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && ascii_lower(c) >= 'a' && ascii_lower(c) <= 'f')
                digit = ascii_lower(c) - 'a' + 10;
            else
                break;
            value = std::min<uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (i == digits_start)
            return 0;
        if (i < text.size() && text[i] == ';')
            ++i;
        append_code_point(out, value);
        return i - at;
    }
    size_t name_end = i;
    while (name_end < text.size() && is_alnum(text[name_end]) && name_end - i < 10)
        ++name_end;
    View name = text.substr(i, name_end - i);
    bool has_semicolon = name_end < text.size() && text[name_end] == ';';
    if (!has_semicolon) {
        bool legacy = std::any_of(std::begin(kLegacyEntities), std::end(kLegacyEntities),
                                  [&](std::string_view n) { return name_equals(name, n); });
        if (!legacy)
            return 0;
        if (in_attribute && name_end < text.size() && (is_alnum(text[name_end]) || text[name_end] == '='))
            return 0;
    }
    for (const NamedEntity& entity : kNamedEntities) {
        if (name_equals(name, entity.name)) {
            out += entity.value;
            return name_end - at + (has_semicolon ? 1 : 0);
        }
    }
    return 0;
}

// Elements whose content is not markup: scripts and styles are dropped, titles and text areas
// are text up to their end tag.
enum class RawKind { kNone, kDropped, kText };

RawKind raw_kind(View name) {
    for (std::string_view dropped : {"script", "style", "template", "noembed", "noframes", "iframe", "object"}) {
        if (equals_ignoring_case(name, dropped))
            return RawKind::kDropped;
    }
    for (std::string_view text : {"title", "textarea", "xmp"}) {
        if (equals_ignoring_case(name, text))
            return RawKind::kText;
    }
    return RawKind::kNone;
}

bool is_block(View name) {
    static constexpr std::string_view kBlocks[] = {
        "address", "article", "aside", "blockquote", "br",         "caption", "center", "dd",     "details", "dialog",
        "div",     "dl",      "dt",    "fieldset",   "figcaption", "figure",  "footer", "form",   "h1",      "h2",
        "h3",      "h4",      "h5",    "h6",         "header",     "hgroup",  "hr",     "li",     "main",    "nav",
        "ol",      "p",       "pre",   "section",    "summary",    "table",   "tbody",  "thead",  "tfoot",   "tr",
        "ul",      "body",    "html",  "head",       "textarea",   "legend",  "menu",   "option",
    };
    return std::any_of(std::begin(kBlocks), std::end(kBlocks),
                       [&](std::string_view block) { return equals_ignoring_case(name, block); });
}

int heading_level(View name) {
    if (name.size() == 2 && ascii_lower(name[0]) == 'h' && name[1] >= '1' && name[1] <= '6')
        return name[1] - '0';
    return 0;
}

std::u16string collapse_blanks(View text) {
    std::u16string out;
    bool pending = false;
    for (char16_t c : text) {
        if (is_space(c)) {
            pending = !out.empty();
            continue;
        }
        if (pending)
            out += u' ';
        pending = false;
        out += c;
    }
    return out;
}

// Builds the text of a page while its markup is read.
class TextBuilder {
public:
    explicit TextBuilder(PageText& page) : page_(page) {}

    void add_text(View text) {
        for (char16_t c : text)
            add_char(c);
    }

    void add_char(char16_t c) {
        if (pre_depth_ > 0 && c == '\n') {
            end_block(true);
            return;
        }
        if (is_space(c)) {
            if (pre_depth_ > 0)
                append(u' ', link_);
            else
                pending_space_ = true;
            return;
        }
        if (pending_space_) {
            pending_space_ = false;
            // The blank goes with the link only when it lies inside one link.
            if (!block_.runs.empty())
                append(u' ', block_.runs.back().link == link_ ? link_ : -1);
        }
        append(c, link_);
    }

    void separate_cells() { pending_space_ = true; }

    // Ends the current block. `forced` keeps an empty one (a <br> on its own is an empty line).
    void end_block(bool forced) {
        pending_space_ = false;
        if (!block_.runs.empty() || forced) {
            block_.heading = heading_;
            page_.blocks.push_back(std::move(block_));
        }
        block_ = TextBlock();
    }

    void finish() { end_block(false); }

    void set_link(int link) { link_ = link; }
    void set_heading(int level) { heading_ = level; }
    void enter_pre() { ++pre_depth_; }
    void leave_pre() { pre_depth_ = std::max(0, pre_depth_ - 1); }

private:
    void append(char16_t c, int link) {
        if (block_.runs.empty() || block_.runs.back().link != link)
            block_.runs.push_back(TextRun{{}, link});
        block_.runs.back().text += c;
    }

    PageText& page_;
    TextBlock block_;
    bool pending_space_ = false;
    int link_ = -1;
    int heading_ = 0;
    int pre_depth_ = 0;
};

// Where the end tag of the element `name` (ASCII, as every raw-text element's name is) begins.
size_t find_end_tag(View html, size_t from, View name) {
    std::string lower_name;
    for (char16_t c : name)
        lower_name += static_cast<char>(ascii_lower(c));
    for (size_t at = html.find(u"</", from); at != View::npos; at = html.find(u"</", at + 2)) {
        size_t after = at + 2 + name.size();
        if (starts_with_ignoring_case(html, at + 2, lower_name) &&
            (after >= html.size() || is_space(html[after]) || html[after] == '>' || html[after] == '/'))
            return at;
    }
    return View::npos;
}

bool leads_somewhere(View url) {
    return !url.empty() && !has_scheme(url, "javascript") && !has_scheme(url, "mailto") && !has_scheme(url, "tel") &&
           !has_scheme(url, "data");
}

// The parts of an absolute address: "scheme:", "//authority", path, "?query", "#fragment".
struct UrlParts {
    View scheme, authority, path, query, fragment;
};

size_t scheme_length(View url) {
    if (url.empty() || !is_ascii_letter(url[0]))
        return 0;
    for (size_t i = 1; i < url.size(); ++i) {
        char16_t c = url[i];
        if (c == ':')
            return i;
        if (!is_alnum(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

UrlParts split_url(View url) {
    UrlParts parts;
    size_t fragment = url.find(u'#');
    if (fragment != View::npos) {
        parts.fragment = url.substr(fragment);
        url = url.substr(0, fragment);
    }
    size_t query = url.find(u'?');
    if (query != View::npos) {
        parts.query = url.substr(query);
        url = url.substr(0, query);
    }
    size_t scheme = scheme_length(url);
    if (scheme > 0) {
        parts.scheme = url.substr(0, scheme + 1);
        url = url.substr(scheme + 1);
    }
    if (url.starts_with(u"//")) {
        size_t end = url.find(u'/', 2);
        if (end == View::npos)
            end = url.size();
        parts.authority = url.substr(0, end);
        url = url.substr(end);
    }
    parts.path = url;
    return parts;
}

// Removes "." and ".." segments from an absolute path.
std::u16string remove_dot_segments(View path) {
    std::vector<View> segments;
    size_t at = 1;  // past the leading '/'
    bool ends_in_directory = false;
    while (at <= path.size()) {
        size_t end = path.find(u'/', at);
        if (end == View::npos)
            end = path.size();
        View segment = path.substr(at, end - at);
        ends_in_directory = false;
        if (segment == u".") {
            ends_in_directory = true;
        } else if (segment == u"..") {
            if (!segments.empty())
                segments.pop_back();
            ends_in_directory = true;
        } else {
            segments.push_back(segment);
        }
        at = end + 1;
    }
    std::u16string out;
    for (View segment : segments) {
        out += u'/';
        out += segment;
    }
    if (ends_in_directory || out.empty())
        out += u'/';
    return out;
}

}  // namespace

std::u16string decode_entities(std::u16string_view text, bool in_attribute) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        if (text[at] == '&') {
            if (size_t used = decode_reference(text, at, in_attribute, out)) {
                at += used;
                continue;
            }
        }
        out += text[at++];
    }
    return out;
}

bool has_scheme(std::u16string_view url, std::string_view lower_scheme) {
    url = markup::trim(url);
    return url.size() > lower_scheme.size() && url[lower_scheme.size()] == ':' &&
           starts_with_ignoring_case(url, 0, lower_scheme);
}

std::u16string resolve_url(std::u16string_view base, std::u16string_view reference) {
    std::u16string ref;
    for (char16_t c : markup::trim(reference)) {
        if (c == '\t' || c == '\n' || c == '\r')
            continue;  // browsers drop these anywhere in an address
        ref += c == '\\' ? u'/' : c;
    }
    if (scheme_length(ref) > 0)
        return ref;
    UrlParts b = split_url(base);
    if (b.scheme.empty())
        return {};
    std::u16string out(b.scheme);
    if (ref.starts_with(u"//"))
        return out + ref;
    if (b.authority.empty() && !ref.starts_with(u"#") && !ref.empty())
        return {};  // about:blank and the like have no place to resolve against
    out += b.authority;
    UrlParts r = split_url(ref);
    if (ref.empty() || ref.starts_with(u"#")) {
        out += b.path;
        out += b.query;
        out += r.fragment;
        return out;
    }
    if (r.path.empty()) {
        out += b.path.empty() ? View(u"/") : b.path;
    } else if (r.path.starts_with(u"/")) {
        out += remove_dot_segments(r.path);
    } else {
        size_t slash = b.path.rfind(u'/');
        std::u16string merged = slash == View::npos ? u"/" : std::u16string(b.path.substr(0, slash + 1));
        merged += r.path;
        out += remove_dot_segments(merged);
    }
    out += r.query;
    out += r.fragment;
    return out;
}

std::u16string address_to_load(std::u16string_view typed) {
    View address = markup::trim(typed);
    if (address.empty())
        return u"about:blank";
    // "localhost:8080/x" reads like a scheme; only schemes that mean something here count.
    for (std::string_view scheme : {"http", "https", "about", "file", "ftp", "data", "javascript", "mailto"}) {
        if (has_scheme(address, scheme))
            return std::u16string(address);
    }
    return u"http://" + std::u16string(address);
}

PageText html_to_text(std::u16string_view html, std::u16string_view page_url) {
    PageText page;
    TextBuilder builder(page);
    std::u16string base(page_url);
    bool base_taken = false;
    size_t text_start = 0;
    auto flush_text = [&](size_t end) {
        if (end > text_start)
            builder.add_text(decode_entities(html.substr(text_start, end - text_start)));
    };

    size_t at = 0;
    while (at < html.size()) {
        if (html[at] != '<') {
            ++at;
            continue;
        }
        bool end_tag = at + 1 < html.size() && html[at + 1] == '/';
        size_t name_start = at + (end_tag ? 2 : 1);
        if (html.substr(at).starts_with(u"<!--")) {
            flush_text(at);
            size_t close = html.find(u"-->", at + 4);
            at = text_start = close == View::npos ? html.size() : close + 3;
            continue;
        }
        if (name_start < html.size() && (html[name_start] == '!' || html[name_start] == '?') && !end_tag) {
            flush_text(at);
            size_t close = html.find(u'>', name_start);
            at = text_start = close == View::npos ? html.size() : close + 1;
            continue;
        }
        if (name_start >= html.size() || !is_ascii_letter(html[name_start])) {
            ++at;  // a '<' that opens no tag is text
            continue;
        }
        flush_text(at);
        size_t name_end = name_start;
        while (name_end < html.size() && !is_space(html[name_end]) && html[name_end] != '>' && html[name_end] != '/')
            ++name_end;
        View name = html.substr(name_start, name_end - name_start);
        markup::AttributeReader<char16_t> attributes(html, name_end);
        std::u16string href, target;
        bool has_href = false;
        while (auto attribute = attributes.next()) {
            if (attribute->name == u"href" && !has_href) {
                has_href = true;
                href = decode_entities(attribute->value, true);
            } else if (attribute->name == u"target") {
                target = decode_entities(attribute->value, true);
            }
        }
        at = text_start = attributes.position();

        if (end_tag) {
            if (equals_ignoring_case(name, "a"))
                builder.set_link(-1);
            if (equals_ignoring_case(name, "pre"))
                builder.leave_pre();
            if (heading_level(name) > 0) {
                builder.end_block(false);
                builder.set_heading(0);
            }
            if (is_block(name))
                builder.end_block(false);
            else if (equals_ignoring_case(name, "td") || equals_ignoring_case(name, "th"))
                builder.separate_cells();
            continue;
        }

        if (equals_ignoring_case(name, "base") && has_href && !base_taken) {
            base_taken = true;
            std::u16string resolved = resolve_url(page_url, href);
            if (!resolved.empty())
                base = resolved;
        } else if (equals_ignoring_case(name, "a")) {
            builder.set_link(-1);
            std::u16string url = has_href ? resolve_url(base, href) : std::u16string();
            if (leads_somewhere(url)) {
                page.links.push_back(PageLink{std::move(url), std::u16string(markup::trim(View(target)))});
                builder.set_link(static_cast<int>(page.links.size() - 1));
            }
        } else if (equals_ignoring_case(name, "br")) {
            builder.end_block(true);
            continue;
        } else if (equals_ignoring_case(name, "td") || equals_ignoring_case(name, "th")) {
            builder.separate_cells();
        } else if (equals_ignoring_case(name, "pre")) {
            builder.end_block(false);
            builder.enter_pre();
            // A newline right after <pre> is not part of its text.
            if (at < html.size() && html[at] == '\n')
                text_start = ++at;
            continue;
        }
        if (int level = heading_level(name)) {
            builder.end_block(false);
            builder.set_heading(level);
        } else if (is_block(name)) {
            builder.end_block(false);
        }

        RawKind raw = attributes.self_closing() ? RawKind::kNone : raw_kind(name);
        if (raw == RawKind::kNone)
            continue;
        size_t close = find_end_tag(html, at, name);
        View content = html.substr(at, (close == View::npos ? html.size() : close) - at);
        if (equals_ignoring_case(name, "title")) {
            if (page.title.empty())
                page.title = collapse_blanks(decode_entities(content));
        } else if (raw == RawKind::kText) {
            builder.add_text(decode_entities(content));
        }
        if (close == View::npos) {
            at = text_start = html.size();
        } else {
            size_t gt = html.find(u'>', close);
            at = text_start = gt == View::npos ? html.size() : gt + 1;
        }
    }
    flush_text(html.size());
    builder.finish();
    return page;
}

}  // namespace quarnel
