#include "host/builtin/page_layout.h"

#include "host/page_decode.h"
#include "winbase/handles.h"

#include <algorithm>

namespace quarnel::host {

namespace {

// The longest stretch measured at once. A line never holds more, and measuring a whole long
// paragraph for every line would make layout quadratic in its length.
constexpr int kMeasureChunk = 1024;

win::UniqueFont make_font(const LOGFONTW& base, int percent, int weight, bool underline) {
    LOGFONTW font = base;
    font.lfHeight = base.lfHeight * percent / 100;
    font.lfWeight = weight;
    font.lfUnderline = underline ? TRUE : FALSE;
    return win::UniqueFont(CreateFontIndirectW(&font));
}

// CJK and other wide scripts break between any two characters; other text at blanks.
bool is_wide_script(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
}

bool can_break_before(std::wstring_view text, size_t at) {
    if (at == 0 || at >= text.size())
        return false;
    wchar_t before = text[at - 1], here = text[at];
    if (here >= 0xDC00 && here <= 0xDFFF)
        return false;  // never inside a surrogate pair
    return before == L' ' || here == L' ' || before == L'-' || is_wide_script(before) || is_wide_script(here);
}

int line_height(HDC dc, HFONT font) {
    win::SelectedObject selected(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight + metrics.tmExternalLeading;
}

// Places runs of text one after another, wrapping at the right edge.
class LineFiller {
public:
    LineFiller(HDC dc, PageLayout& layout, int width)
        : dc_(dc), layout_(layout), right_(std::max(width - kPageMargin, kPageMargin + 1)) {}

    void start_block(int height) {
        x_ = kPageMargin;
        line_height_ = height;
        wrapped_ = false;
    }

    // A block that ended right after a wrap has its last line already counted; an empty block
    // still takes one empty line.
    void end_block(int gap) {
        y_ += (wrapped_ ? 0 : line_height_) + gap;
        x_ = kPageMargin;
    }

    void add(std::wstring_view text, HFONT font, TextStyle style, int link) {
        win::SelectedObject selected(dc_, font);
        size_t at = 0;
        while (at < text.size()) {
            int available = right_ - x_;
            int chunk = static_cast<int>(std::min<size_t>(text.size() - at, kMeasureChunk));
            int fit = 0;
            SIZE extent{};
            GetTextExtentExPointW(dc_, text.data() + at, chunk, std::max(available, 0), &fit, nullptr, &extent);
            if (fit >= chunk) {
                place(text.substr(at, chunk), extent.cx, style, link);
                at += chunk;
                continue;
            }
            size_t end = at + fit;
            while (end > at && !can_break_before(text, end))
                --end;
            if (end == at) {
                if (x_ > kPageMargin) {
                    new_line();
                    at = skip_blanks(text, at);
                    continue;
                }
                // A word wider than the whole line is cut where the line ends.
                end = at + std::max(fit, 1);
                if (end < text.size() && text[end] >= 0xDC00 && text[end] <= 0xDFFF)
                    ++end;
            }
            std::wstring_view piece = text.substr(at, end - at);
            SIZE size{};
            GetTextExtentPoint32W(dc_, piece.data(), static_cast<int>(piece.size()), &size);
            place(piece, size.cx, style, link);
            new_line();
            at = skip_blanks(text, end);
        }
    }

    int bottom() const { return y_; }

private:
    static size_t skip_blanks(std::wstring_view text, size_t at) {
        while (at < text.size() && text[at] == L' ')
            ++at;
        return at;
    }

    void new_line() {
        y_ += line_height_;
        x_ = kPageMargin;
        wrapped_ = true;
    }

    void place(std::wstring_view text, int width, TextStyle style, int link) {
        if (text.empty())
            return;
        Fragment fragment;
        fragment.box = RECT{x_, y_, x_ + width, y_ + line_height_};
        fragment.text = std::wstring(text);
        fragment.link = link;
        fragment.style = style;
        layout_.fragments.push_back(std::move(fragment));
        x_ += width;
        wrapped_ = false;
    }

    HDC dc_;
    PageLayout& layout_;
    int right_;
    int x_ = kPageMargin;
    int y_ = kPageMargin;
    int line_height_ = 0;
    bool wrapped_ = false;
};

}  // namespace

PageFonts::PageFonts() {
    LOGFONTW base{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(base), &base);
    if (base.lfHeight == 0)
        base.lfHeight = -12;
    body_ = make_font(base, 100, FW_NORMAL, false);
    body_link_ = make_font(base, 100, FW_NORMAL, true);
    heading_ = make_font(base, 125, FW_BOLD, false);
    heading_link_ = make_font(base, 125, FW_BOLD, true);
    title_ = make_font(base, 150, FW_BOLD, false);
    notice_ = make_font(base, 100, FW_BOLD, false);
}

HFONT PageFonts::font(TextStyle style, bool link) const {
    switch (style) {
        case TextStyle::kHeading:
            return link ? heading_link_.get() : heading_.get();
        case TextStyle::kTitle:
            return title_.get();
        case TextStyle::kNotice:
            return notice_.get();
        case TextStyle::kBody:
            break;
    }
    return link ? body_link_.get() : body_.get();
}

PageLayout lay_out_page(HDC dc, const PageFonts& fonts, std::wstring_view notice, const PageText& page, int width) {
    PageLayout layout;
    LineFiller filler(dc, layout, width);
    const int body_height = line_height(dc, fonts.font(TextStyle::kBody, false));
    auto add_line = [&](std::wstring_view text, TextStyle style) {
        HFONT font = fonts.font(style, false);
        filler.start_block(line_height(dc, font));
        filler.add(text, font, style, -1);
        filler.end_block(body_height / 2);
    };
    if (!notice.empty())
        add_line(notice, TextStyle::kNotice);
    if (!page.title.empty())
        add_line(to_wide(page.title), TextStyle::kTitle);

    const int heading_height = line_height(dc, fonts.font(TextStyle::kHeading, false));
    for (const TextBlock& block : page.blocks) {
        TextStyle style = block.heading ? TextStyle::kHeading : TextStyle::kBody;
        filler.start_block(block.heading ? heading_height : body_height);
        for (const TextRun& run : block.runs)
            filler.add(to_wide(run.text), fonts.font(style, run.link >= 0), style, run.link);
        filler.end_block(block.heading ? body_height / 3 : 0);
    }
    layout.height = filler.bottom() + kPageMargin;
    return layout;
}

int link_at(const PageLayout& layout, POINT point) {
    for (const Fragment& fragment : layout.fragments) {
        if (fragment.link >= 0 && PtInRect(&fragment.box, point))
            return fragment.link;
    }
    return -1;
}

}  // namespace quarnel::host
