#pragma once

// Lays a page's text out in lines for a given width, and finds the link under a point.

#include "core/html_text.h"
#include "winbase/handles.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace quarnel::host {

enum class TextStyle { kBody, kHeading, kTitle, kNotice };

// The fonts a page is drawn in: the default GUI font (which carries CJK glyphs on the systems
// served, directly or through font linking), larger and bold for headings and the title,
// underlined for links.
class PageFonts {
public:
    PageFonts();
    HFONT font(TextStyle style, bool link) const;

private:
    win::UniqueFont body_, body_link_, heading_, heading_link_, title_, notice_;
};

// One piece of text on one line, in content coordinates (0 at the top of the page).
struct Fragment {
    RECT box{};
    std::wstring text;
    int link = -1;
    TextStyle style = TextStyle::kBody;
};

struct PageLayout {
    std::vector<Fragment> fragments;
    int height = 0;  // of the whole content, margins included
};

inline constexpr int kPageMargin = 8;

// `notice` (an error text, may be empty) comes first, then the title, then the text.
PageLayout lay_out_page(HDC dc, const PageFonts& fonts, std::wstring_view notice, const PageText& page, int width);

// The link under a point in content coordinates, or -1.
int link_at(const PageLayout& layout, POINT point);

}  // namespace quarnel::host
