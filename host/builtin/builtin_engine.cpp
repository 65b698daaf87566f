// The built-in page engine: each child view fetches its page with a PageLoader and draws the
// page's title, text and links itself.

#include "controls/window.h"
#include "core/html_text.h"
#include "host/page_decode.h"
#include "host/page_engine.h"
#include "host/builtin/page_layout.h"
#include "host/builtin/page_loader.h"
#include "host/mirror_window.h"
#include "winbase/handles.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

namespace quarnel::host {

namespace {

// Posted by the loader when a fetched page is ready to take.
constexpr UINT kPageLoadedMessage = WM_APP + 1;
constexpr int kScrollLinePixels = 20;
constexpr COLORREF kTextColour = RGB(0, 0, 0);
constexpr COLORREF kLinkColour = RGB(0, 0, 204);
constexpr COLORREF kHoverColour = RGB(204, 0, 0);
constexpr COLORREF kNoticeColour = RGB(192, 0, 0);

// Content types the engine reads as text; anything else (images, archives) is not drawn.
bool is_text_content(std::string_view content_type) {
    std::string lower(content_type);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.empty() || lower.starts_with("text/") || lower.find("html") != std::string::npos ||
           lower.find("xml") != std::string::npos;
}

bool opens_elsewhere(std::u16string_view target) {
    return !target.empty() && target != u"_self" && target != u"_top" && target != u"_parent";
}

class PageView final : public EngineView, private ui::Window {
public:
    PageView(EngineEvents& events, const PageFonts& fonts) : events_(events), fonts_(fonts) {}

    bool create(const ViewSettings& settings, const std::wstring& user_agent, std::shared_ptr<LoaderThreads> threads) {
        WNDCLASSEXW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpszClassName = L"QuarnelHostPageView";
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        const RECT& area = settings.area;
        // No WM_PARENTNOTIFY: the parent belongs to another process and has no use for it.
        if (!create_window(wc, WS_EX_NOPARENTNOTIFY, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS,
                           area.left, area.top, area.right - area.left, area.bottom - area.top, settings.parent,
                           nullptr))
            return false;
        loader_ = std::make_unique<PageLoader>(std::move(threads), user_agent, Window::hwnd(), kPageLoadedMessage);
        if (needs_mirror(settings.parent)) {
            mirror_ = std::make_unique<MirrorWindow>(
                hwnd(), [this](HWND target) { paint_window(target); }, true);
            if (!mirror_->create())
                mirror_.reset();
        }
        update_scroll_bar();
        return true;
    }

    HWND hwnd() const override { return Window::hwnd(); }

    void navigate(std::wstring_view address) override {
        if (!hwnd())
            return;
        address_ = to_wide(address_to_load(to_u16(address)));
        loader_->load(++generation_, address_);
        HWND view = hwnd();
        events_.loading_state_changed(view, true, false, false);
        events_.address_changed(view, address_);
        events_.load_started(view);
    }

    void request_page_source(std::wstring_view frame, SourceAnswer answer) override {
        answer(frame.empty() ? source_ : std::nullopt);
    }

    void resize(int width, int height) override {
        if (hwnd())
            SetWindowPos(hwnd(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

private:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
            case kPageLoadedMessage:
                show_loaded_page();
                return 0;
            case WM_PAINT:
                paint();
                return 0;
            case WM_ERASEBKGND:
                return 1;  // painting covers the whole client area
            case WM_SIZE:
                lay_out();
                return 0;
            case WM_VSCROLL:
                scroll_by_bar(LOWORD(wp));
                return 0;
            case WM_MOUSEWHEEL:
                scroll_to(scroll_ - GET_WHEEL_DELTA_WPARAM(wp) * 3 * kScrollLinePixels / WHEEL_DELTA);
                return 0;
            case WM_KEYDOWN:
                scroll_by_key(static_cast<UINT>(wp));
                return 0;
            case WM_MOUSEMOVE:
                track_pointer(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
                return 0;
            case WM_MOUSELEAVE:
                tracking_mouse_ = false;
                set_hover(-1);
                return 0;
            case WM_SETCURSOR:
                if (LOWORD(lp) == HTCLIENT) {
                    SetCursor(LoadCursorW(nullptr, hover_ >= 0 ? IDC_HAND : IDC_ARROW));
                    return TRUE;
                }
                break;
            case WM_LBUTTONDOWN:
                SetFocus(hwnd());
                pressed_ = link_under(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
                return 0;
            case WM_LBUTTONUP:
                click(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, wp);
                return 0;
            case WM_DESTROY:
                mirror_.reset();
                events_.view_closing(hwnd());
                break;
        }
        return Window::handle_message(msg, wp, lp);
    }

    // The loader finished: the page replaces the one shown, and its load is reported.
    void show_loaded_page() {
        std::optional<LoadResult> result = loader_->take_result();
        if (!result)
            return;
        HWND view = hwnd();
        if (result->final_url != address_) {
            address_ = result->final_url;
            events_.address_changed(view, address_);
        }
        notice_.clear();
        page_ = PageText();
        if (result->status < 0) {
            source_.reset();
            notice_ = L"无法打开此网页（错误代码 " + std::to_wstring(result->status) + L"）：" + address_;
        } else {
            source_ = decode_body(result->content_type, result->body);
            if (result->status >= 400)
                notice_ = L"网页返回错误：HTTP " + std::to_wstring(result->status);
            if (is_text_content(result->content_type))
                page_ = html_to_text(to_u16(*source_), to_u16(address_));
            else if (notice_.empty())
                notice_ =
                    L"此类内容无法显示：" + std::wstring(result->content_type.begin(), result->content_type.end());
        }
        events_.title_changed(view, page_.title.empty() ? address_ : to_wide(page_.title));
        scroll_ = 0;
        hover_ = pressed_ = -1;
        lay_out();
        redraw();
        events_.load_finished(view, result->status);
        events_.loading_state_changed(view, false, false, false);
        if (result->status > 0)
            events_.page_ready(view);
    }

    void lay_out() {
        RECT client{};
        GetClientRect(hwnd(), &client);
        layout_ = lay_out_page(win::WindowDc(hwnd()).get(), fonts_, notice_, page_, client.right);
        scroll_to(scroll_);
    }

    int client_height() const {
        RECT client{};
        GetClientRect(hwnd(), &client);
        return client.bottom;
    }

    void update_scroll_bar() {
        SCROLLINFO info{};
        info.cbSize = sizeof(info);
        // The bar stays visible (disabled) on short pages, so the text width does not jump.
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        info.nMin = 0;
        info.nMax = std::max(layout_.height - 1, 0);
        info.nPage = static_cast<UINT>(std::max(client_height(), 0));
        info.nPos = scroll_;
        SetScrollInfo(hwnd(), SB_VERT, &info, TRUE);
        if (mirror_)
            SetScrollInfo(mirror_->hwnd(), SB_VERT, &info, TRUE);
    }

    void scroll_to(int y) {
        int limit = std::max(layout_.height - client_height(), 0);
        int clamped = std::clamp(y, 0, limit);
        bool moved = clamped != scroll_;
        scroll_ = clamped;
        update_scroll_bar();
        if (moved)
            redraw();
    }

    void scroll_by_bar(UINT code) {
        int page = std::max(client_height() - kScrollLinePixels, kScrollLinePixels);
        switch (code) {
            case SB_LINEUP:
                return scroll_to(scroll_ - kScrollLinePixels);
            case SB_LINEDOWN:
                return scroll_to(scroll_ + kScrollLinePixels);
            case SB_PAGEUP:
                return scroll_to(scroll_ - page);
            case SB_PAGEDOWN:
                return scroll_to(scroll_ + page);
            case SB_TOP:
                return scroll_to(0);
            case SB_BOTTOM:
                return scroll_to(layout_.height);
            case SB_THUMBTRACK:
            case SB_THUMBPOSITION: {
                SCROLLINFO info{};
                info.cbSize = sizeof(info);
                info.fMask = SIF_TRACKPOS;
                GetScrollInfo(hwnd(), SB_VERT, &info);
                return scroll_to(info.nTrackPos);
            }
        }
    }

    void scroll_by_key(UINT key) {
        static constexpr struct {
            UINT key;
            UINT bar_code;
        } kKeys[] = {{VK_UP, SB_LINEUP},     {VK_DOWN, SB_LINEDOWN}, {VK_PRIOR, SB_PAGEUP},
                     {VK_NEXT, SB_PAGEDOWN}, {VK_HOME, SB_TOP},      {VK_END, SB_BOTTOM}};
        for (const auto& entry : kKeys) {
            if (entry.key == key)
                scroll_by_bar(entry.bar_code);
        }
    }

    int link_under(POINT client_point) const {
        return link_at(layout_, POINT{client_point.x, client_point.y + scroll_});
    }

    void track_pointer(POINT point) {
        if (!tracking_mouse_) {
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = hwnd();
            tracking_mouse_ = TrackMouseEvent(&track) != FALSE;
        }
        set_hover(link_under(point));
    }

    // The link under the pointer is drawn in another colour and its address is the status text.
    void set_hover(int link) {
        if (link == hover_)
            return;
        hover_ = link;
        redraw();
        events_.status_text_changed(hwnd(), link >= 0 ? to_wide(page_.links[link].url) : std::wstring());
    }

    void click(POINT point, WPARAM keys) {
        int link = link_under(point);
        bool same = link >= 0 && link == pressed_;
        pressed_ = -1;
        if (!same)
            return;
        const PageLink& target = page_.links[link];
        std::wstring url = to_wide(target.url);
        bool elsewhere = (keys & (MK_CONTROL | MK_SHIFT)) != 0 || opens_elsewhere(target.target);
        if (elsewhere) {
            OpenDisposition disposition = (keys & MK_CONTROL) ? OpenDisposition::kNewBackgroundTab
                                          : (keys & MK_SHIFT) ? OpenDisposition::kNewWindow
                                                              : OpenDisposition::kNewForegroundTab;
            // The application may take the new window over; otherwise it opens here.
            if (events_.new_window(hwnd(), url, disposition))
                return;
        }
        navigate(url);
    }

    void redraw() {
        InvalidateRect(hwnd(), nullptr, FALSE);
        if (mirror_)
            mirror_->invalidate();
    }

    void paint() { paint_window(hwnd()); }

    // Draws the page into `target`: the view itself, or its mirror of the same size.
    void paint_window(HWND target) {
        win::PaintDc paint(target);
        HDC dc = paint.get();
        RECT client{};
        GetClientRect(target, &client);
        // Drawn off screen first, so scrolling and hovering do not flicker.
        win::UniqueMemoryDc memory_dc(CreateCompatibleDC(dc));
        HDC memory = memory_dc.get();
        win::UniqueBitmap bitmap(
            CreateCompatibleBitmap(dc, std::max<int>(client.right, 1), std::max<int>(client.bottom, 1)));
        win::SelectedObject selected_bitmap(memory, bitmap.get());
        FillRect(memory, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(memory, TRANSPARENT);
        win::SelectedObject selected_font(memory, fonts_.font(TextStyle::kBody, false));
        for (const Fragment& fragment : layout_.fragments) {
            int top = fragment.box.top - scroll_;
            if (fragment.box.bottom - scroll_ < client.top || top > client.bottom)
                continue;
            SelectObject(memory, fonts_.font(fragment.style, fragment.link >= 0));
            COLORREF colour = fragment.style == TextStyle::kNotice ? kNoticeColour
                              : fragment.link < 0                  ? kTextColour
                              : fragment.link == hover_            ? kHoverColour
                                                                   : kLinkColour;
            SetTextColor(memory, colour);
            TextOutW(memory, fragment.box.left, top, fragment.text.c_str(), static_cast<int>(fragment.text.size()));
        }
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    }

    EngineEvents& events_;
    std::unique_ptr<MirrorWindow> mirror_;
    const PageFonts& fonts_;  // not owned: the engine's, which outlives its views
    std::unique_ptr<PageLoader> loader_;
    uint64_t generation_ = 0;
    std::wstring address_;
    std::optional<std::wstring> source_;  // the decoded page, nothing before the first page or after a failure
    PageText page_;
    std::wstring notice_;
    PageLayout layout_;
    int scroll_ = 0;
    int hover_ = -1;
    int pressed_ = -1;
    bool tracking_mouse_ = false;
};

class BuiltinEngine final : public PageEngine {
public:
    explicit BuiltinEngine(std::wstring user_agent) : user_agent_(std::move(user_agent)) {}

    std::unique_ptr<EngineView> create_view(const ViewSettings& settings, EngineEvents& events) override {
        auto view = std::make_unique<PageView>(events, fonts_);
        if (!view->create(settings, user_agent_, threads_))
            return nullptr;
        return view;
    }

    bool threads_ended_within(unsigned grace_ms) override { return threads_->ended_within(grace_ms); }

    const wchar_t* name() const override { return L"builtin"; }

private:
    std::wstring user_agent_;
    PageFonts fonts_;
    std::shared_ptr<LoaderThreads> threads_ = std::make_shared<LoaderThreads>();
};

// What the engine says it is when given no user agent: a current desktop browser, so sites serve
// their ordinary pages.
constexpr wchar_t kDefaultUserAgent[] =
    L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 "
    L"Safari/537.36";

}  // namespace

std::unique_ptr<PageEngine> make_builtin_engine(std::wstring user_agent) {
    return std::make_unique<BuiltinEngine>(user_agent.empty() ? kDefaultUserAgent : std::move(user_agent));
}

}  // namespace quarnel::host
