#include "app/visiting.h"

#include "core/host_protocol.h"

#include "app/http_fetch.h"
#include "app/page_icon.h"
#include "winbase/dispatching.h"
#include "winbase/text.h"

namespace quarnel {

namespace {

constexpr wchar_t kStartCaption[] = L"启动";
constexpr wchar_t kStopCaption[] = L"停止";
constexpr int kCaptureDelayMs = 1000;

}  // namespace

void Visiting::toggle_auto_visit() {
    // The caption is the pass's on/off flag: exactly "启动" means stopped.
    if (p_.start_button.caption() == kStartCaption) {
        p_.visit_timer.set_interval(interval_milliseconds(p_.interval_box.text()));
        p_.start_button.set_caption(kStopCaption);
    } else {
        stop_pass();
    }
}

void Visiting::stop_pass() {
    p_.start_button.set_caption(kStartCaption);
    p_.visit_timer.set_interval(0);
}

void Visiting::visit_next_row() {
    // A list of n rows takes n + 1 ticks: the one after the last row ends the pass.
    if (visit_cursor >= p_.list.row_count()) {
        visit_cursor = 0;
        stop_pass();
        return;
    }
    // The next row waits for a host that is being started again, rather than going to nowhere.
    if (p_.engine.recovering())
        return;
    ++visit_cursor;
    show_row(visit_cursor - 1);
}

void Visiting::show_row(int row) {
    std::string url = p_.list.cell_text(row, kUrlColumn);
    if (url.empty()) {
        shown_row_ = 0;
        return;
    }
    shown_row_ = row + 1;
    load_dropped_ = false;
    p_.engine.navigate(url);
}

std::string Visiting::shown_url() const {
    return shown_row_ > 0 ? p_.list.cell_text(shown_row_ - 1, kUrlColumn) : std::string();
}

void Visiting::arm_capture() {
    // An unchanged interval does nothing: further events while armed neither restart nor delay
    // the capture.
    p_.capture_timer.set_interval(kCaptureDelayMs);
}

void Visiting::load_finished(int status) {
    load_dropped_ = status == host_protocol::kLoadDropped;
    arm_capture();
}

void Visiting::capture_title() {
    p_.capture_timer.set_interval(0);
    if (shown_row_ <= 0 || load_dropped_)
        return;
    // The wait for the page source keeps messages flowing, so a visit tick may show the next row
    // meanwhile. The answer is the page of the row it was asked for, and goes into that row; the
    // title above the view and the icon stay for the next row's own capture. A list rebuilt
    // meanwhile (no row shown) takes nothing.
    int row = shown_row_;
    std::optional<std::string> answer = p_.engine.page_source();
    // No answer (the host or its browser ended during the wait, or the page never yields) is not
    // a page without a title: nothing is written.
    if (!answer || shown_row_ <= 0)
        return;
    const std::string& source = *answer;
    std::string title = text_between(source, "<title>", "</title>", 0, true);
    if (title.empty())
        title = text_between(source, "title\":\"", "\"", 0, true);
    std::string clean = clean_title(title);
    p_.list.set_cell_text(row - 1, kTitleColumn, title.empty() ? win::wide_to_ansi(L"无标题") : clean);
    p_.list.set_cell_text(row - 1, kTimeColumn, format_timestamp(p_.now()));
    if (shown_row_ != row)
        return;
    p_.title_label.set_caption(win::ansi_to_wide(clean));
    std::optional<std::string> icon = icon_address(source);
    if (!icon)
        return;
    if (icon->empty()) {
        ++icon_request_;
        p_.favicon_picture.set_picture(default_page_icon());
        return;
    }
    // The download runs beside the window, which keeps answering while a server is slow. A later
    // capture may begin and end meanwhile: only the newest capture's icon is shown.
    int request = ++icon_request_;
    std::string url = *icon;
    std::string bytes = win::run_dispatching([this, url] { return p_.effects.fetch(url, kIconFetchLimit); });
    if (request == icon_request_ && p_.favicon_picture.hwnd())
        p_.favicon_picture.set_picture(bytes);
}

}  // namespace quarnel
