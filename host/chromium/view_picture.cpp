#include "host/chromium/view_picture.h"

#include "devtools/base64.h"
#include "core/seen_area.h"
#include "winbase/handles.h"

#include <dwmapi.h>

#include <algorithm>
#include <vector>

namespace quarnel::host {

namespace {

// Once the browser's pictures stop, the view asks for one more this much later: the browser
// skips pictures while two of its own are unacknowledged, and the last one may be among them.
constexpr UINT kSettleDelayMs = 200;
// The browser's pictures of the page: JPEG at this quality (of 100).
constexpr int kFrameQuality = 80;
// How often the view looks whether it can be seen.
constexpr UINT kSeenCheckMs = 250;
// The browser captures the page at each of its frames, up to 60 a second, but makes and sends a
// picture only while few of those it sent are unacknowledged. Acknowledging at most one picture
// in this span keeps the pictures (their encoding, sending, decoding and drawing, the most of
// what the view costs) at 20 a second whatever the page's own frame rate, and a change on the
// page still reaches the screen within about this span.
constexpr std::uint32_t kPictureSpanMs = 50;

}  // namespace

// The first picture is acknowledged at once.
ViewPicture::ViewPicture(HWND view,
                         PageChannel& page,
                         TickClock clock,
                         std::function<void()> show,
                         std::function<void(const std::wstring&)> log)
    : view_(view),
      page_(page),
      clock_(std::move(clock)),
      show_(std::move(show)),
      log_(std::move(log)),
      acknowledged_at_(clock_() - 1000),
      logged_at_(clock_()) {}

// The browser sends a picture of the page whenever it changes (a still page sends none), at
// the viewport's size, and waits for each to be acknowledged. On a display that Windows scales
// the page is drawn at more device pixels than the view has: the pictures come at the view's.
void ViewPicture::start() {
    if (!seen_)
        return;
    RECT client{};
    GetClientRect(view_, &client);
    Params params;
    params.text("format", "jpeg").integer("quality", kFrameQuality).integer("everyNthFrame", 1);
    if (client.right > 0 && client.bottom > 0)
        params.integer("maxWidth", client.right).integer("maxHeight", client.bottom);
    // A screencast still running goes on as it was (the browser refuses a second start), with the
    // pictures it waits to have acknowledged.
    page_.command("Page.startScreencast", params);
}

void ViewPicture::on_frame(const Message& event) {
    std::optional<long long> ack_id = integer_at(event, "/sessionId");
    if (!ack_id)
        return;
    // Drawn at once; acknowledged at the pace of kPictureSpanMs, so that the browser sends no
    // more than that.
    unacknowledged_.push_back(*ack_id);
    std::uint32_t since = clock_() - acknowledged_at_;
    if (since >= kPictureSpanMs)
        acknowledge_oldest();
    else
        SetTimer(view_, kPictureAckTimer, kPictureSpanMs - since, nullptr);
    // The same picture again (the browser sends one when asked for a screenshot) changes
    // nothing: it would only cost a decoding, and another screenshot after it.
    std::string data = string_at(event, "/data").value_or("");
    if (data == last_screencast_)
        return;
    last_screencast_ = data;
    ++frames_received_;
    frames_.offer(std::move(data));
    show_();
    refresh_later();
}

void ViewPicture::acknowledge_oldest() {
    if (!unacknowledged_.empty()) {
        page_.command("Page.screencastFrameAck", Params().integer("sessionId", unacknowledged_.front()));
        unacknowledged_.pop_front();
        acknowledged_at_ = clock_();
    }
    if (unacknowledged_.empty())
        KillTimer(view_, kPictureAckTimer);
    else
        SetTimer(view_, kPictureAckTimer, kPictureSpanMs, nullptr);
}

void ViewPicture::refresh_later() {
    if (seen_)
        SetTimer(view_, kPictureSettleTimer, kSettleDelayMs, nullptr);
}

void ViewPicture::watch_seen() {
    seen_ = can_be_seen();
    SetTimer(view_, kSeenCheckTimer, kSeenCheckMs, nullptr);
}

namespace {

ScreenBox box_of(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

BOOL CALLBACK add_screen(HMONITOR, HDC, LPRECT area, LPARAM screens) {
    reinterpret_cast<std::vector<ScreenBox>*>(screens)->push_back(box_of(*area));
    return TRUE;
}

// Whether `window`, above the view, hides what lies under it: a visible, not minimised, opaque
// window that the system shows. Layered windows (translucent ones, and the view's own mirror
// under Wine) and windows that let the pointer through may show what is under them; cloaked
// windows (on another virtual desktop, or kept hidden by the system) show nothing.
bool hides_what_is_under(HWND window, RECT& shown) {
    if (!IsWindowVisible(window) || IsIconic(window))
        return false;
    if (GetWindowLongPtrW(window, GWL_EXSTYLE) & (WS_EX_LAYERED | WS_EX_TRANSPARENT))
        return false;
    DWORD cloaked = 0;
    if (SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof(cloaked))) && cloaked)
        return false;
    // A window shaped by a region of its own may leave parts of its rectangle open.
    RECT region{};
    if (GetWindowRgnBox(window, &region) != ERROR)
        return false;
    // The frame as drawn: on Windows 10 and 11 the rectangle holds invisible borders for resizing.
    if (FAILED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &shown, sizeof(shown))))
        GetWindowRect(window, &shown);
    return true;
}

}  // namespace

// Seen: shown, its window not minimised, and some part of it on a screen and not under other
// windows. The windows above the view are those above its top-level window.
bool ViewPicture::can_be_seen() const {
    HWND top = GetAncestor(view_, GA_ROOT);
    if (!IsWindowVisible(view_) || (top && IsIconic(top)))
        return false;
    RECT area{};
    GetWindowRect(view_, &area);
    std::vector<ScreenBox> screens, covers;
    EnumDisplayMonitors(nullptr, nullptr, add_screen, reinterpret_cast<LPARAM>(&screens));
    for (HWND above = top ? GetWindow(top, GW_HWNDPREV) : nullptr; above; above = GetWindow(above, GW_HWNDPREV)) {
        RECT shown{};
        if (hides_what_is_under(above, shown))
            covers.push_back(box_of(shown));
    }
    return any_part_seen(box_of(area), screens, covers);
}

void ViewPicture::check_seen() {
    bool seen = can_be_seen();
    if (seen == seen_)
        return;
    seen_ = seen;
    if (!seen) {
        KillTimer(view_, kPictureSettleTimer);
        KillTimer(view_, kPictureAckTimer);
        unacknowledged_.clear();
        page_.command("Page.stopScreencast");
        return;
    }
    start();
    refresh();
}

bool ViewPicture::on_timer(UINT_PTR id) {
    if (id == kPictureAckTimer) {
        acknowledge_oldest();
        return true;
    }
    if (id == kSeenCheckTimer) {
        check_seen();
        return true;
    }
    if (id != kPictureSettleTimer)
        return false;
    KillTimer(view_, kPictureSettleTimer);
    refresh();
    return true;
}

void ViewPicture::refresh() {
    if (!page_.has_page() || !seen_)
        return;
    std::weak_ptr<bool> alive = alive_;
    page_.command("Page.captureScreenshot", Params().text("format", "jpeg").integer("quality", kFrameQuality),
                  [this, alive, asked_after = frames_received_](const Message* reply) {
                      if (alive.expired() || !reply || frames_received_ != asked_after)
                          return;
                      if (std::optional<std::string> data = string_at(*reply, "/data")) {
                          frames_.offer(std::move(*data));
                          show_();
                      }
                  });
}

void ViewPicture::log_counts() {
    std::uint32_t now = clock_();
    wchar_t line[200];
    swprintf(line, 200, L"view %lu: %lu pictures from the browser, %lu drawn, %lu dropped in %.3f s\r\n",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(view_)), frames_.offered() - logged_offered_,
             frames_drawn_ - logged_drawn_, frames_.dropped() - logged_dropped_, (now - logged_at_) / 1000.0);
    log_(line);
    logged_offered_ = frames_.offered();
    logged_drawn_ = frames_drawn_;
    logged_dropped_ = frames_.dropped();
    logged_at_ = now;
}

// The one before stays shown when the newest cannot be decoded.
void ViewPicture::draw_newest() {
    std::optional<std::string> newest = frames_.take();
    if (!newest)
        return;
    std::optional<std::string> jpeg = base64_decode(*newest);
    if (jpeg && decode_jpeg_into(*jpeg, decoding_)) {
        // The two pictures' storage is kept and used again, turn about.
        if (!frame_)
            frame_.emplace();
        std::swap(*frame_, decoding_);
        ++frames_drawn_;
    }
}

// Before the first picture, and beside an older picture while the view grows, the page's
// background shows.
void ViewPicture::paint(HWND target) {
    draw_newest();
    win::PaintDc paint(target);
    RECT client{};
    GetClientRect(target, &client);
    HBRUSH background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    if (!frame_) {
        FillRect(paint.get(), &client, background);
        return;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = frame_->width;
    info.bmiHeader.biHeight = -frame_->height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(paint.get(), 0, 0, frame_->width, frame_->height, 0, 0, 0, frame_->height, frame_->pixels.data(),
                      &info, DIB_RGB_COLORS);
    RECT right = {frame_->width, 0, client.right, client.bottom};
    RECT below = {0, frame_->height, std::min<LONG>(frame_->width, client.right), client.bottom};
    if (right.left < right.right)
        FillRect(paint.get(), &right, background);
    if (below.top < below.bottom)
        FillRect(paint.get(), &below, background);
}

}  // namespace quarnel::host
