#include "app/visiting.h"

#include "app/http_fetch.h"
#include "app/main_window.h"
#include "core/page_text.h"
#include "winbase/text.h"

namespace quarnel {

namespace {

constexpr wchar_t kStartCaption[] = L"启动";
constexpr wchar_t kStopCaption[] = L"停止";
constexpr int kCaptureDelayMs = 1000;

}  // namespace

void Visiting::toggle_auto_visit() {
    MainWindow& w = window_;
    // The caption is the pass's on/off flag: exactly "启动" means stopped.
    if (w.start_button.caption() == kStartCaption) {
        w.visit_timer.set_interval(interval_milliseconds(w.interval_box.text()));
        w.start_button.set_caption(kStopCaption);
    } else {
        stop_pass();
    }
}

void Visiting::stop_pass() {
    window_.start_button.set_caption(kStartCaption);
    window_.visit_timer.set_interval(0);
}

void Visiting::visit_next_row() {
    MainWindow& w = window_;
    // A list of n rows takes n + 1 ticks: the one after the last row ends the pass.
    if (visit_cursor >= w.url_list_view.row_count()) {
        visit_cursor = 0;
        stop_pass();
        return;
    }
    // The next row waits for a host that is being started again, rather than going to nowhere.
    if (w.engine.recovering())
        return;
    ++visit_cursor;
    show_row(visit_cursor - 1);
}

void Visiting::show_row(int row) {
    MainWindow& w = window_;
    std::string url = w.url_list_view.cell_text(row, kUrlColumn);
    if (url.empty()) {
        shown_row_ = 0;
        return;
    }
    shown_row_ = row + 1;
    w.browser_view->navigate(w.engine.view_id(), url);
}

std::string Visiting::shown_url() const {
    return shown_row_ > 0 ? window_.url_list_view.cell_text(shown_row_ - 1, kUrlColumn) : std::string();
}

void Visiting::arm_capture() {
    // An unchanged interval does nothing: further events while armed neither restart nor delay
    // the capture.
    window_.capture_timer.set_interval(kCaptureDelayMs);
}

void Visiting::capture_title() {
    MainWindow& w = window_;
    w.capture_timer.set_interval(0);
    if (shown_row_ <= 0)
        return;
    // The wait for the page source keeps messages flowing, so a visit tick may move shown_row:
    // it is read again at each write.
    std::string source = w.browser_view->get_page_source(w.engine.view_id(), "", false);
    // No answer because the host is gone (or was replaced during the wait) is not a page without
    // a title: nothing was shown, so nothing is written.
    if (source.empty() && !w.engine.showing())
        return;
    std::string title = text_between(source, "<title>", "</title>", 0, true);
    if (title.empty())
        title = text_between(source, "title\":\"", "\"", 0, true);
    std::string clean = clean_title(title);
    if (shown_row_ > 0)
        w.url_list_view.set_cell_text(shown_row_ - 1, kTitleColumn, title.empty() ? win::wide_to_ansi(L"无标题") : clean);
    w.title_label.set_caption(win::ansi_to_wide(clean));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    if (shown_row_ > 0) {
        w.url_list_view.set_cell_text(shown_row_ - 1, kTimeColumn,
                                      format_timestamp({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                                        now.wSecond}));
    }
    std::optional<std::string> icon = icon_address(source);
    if (!icon)
        return;
    if (icon->empty())
        w.favicon_picture.set_picture(default_page_icon());
    else
        w.favicon_picture.set_picture(w.effects().fetch(*icon, kIconFetchLimit));
}

}  // namespace quarnel
