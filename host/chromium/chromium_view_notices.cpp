// What a browser-engine view's page tells, reported to the application as its events.

#include "host/chromium/chromium_view.h"
#include "winbase/text.h"

namespace quarnel::host {

void ChromiumView::report(const std::vector<devtools::PageNotice>& notices) {
    using Kind = devtools::PageNotice::Kind;
    std::weak_ptr<bool> alive = alive_;
    HWND view = hwnd();
    for (const devtools::PageNotice& notice : notices) {
        if (alive.expired())
            return;  // a handler of the application closed the view
        std::wstring text = win::utf8_to_wide(notice.text);
        switch (notice.kind) {
            case Kind::kLoadStarted:
                load_began_ = true;
                events_.load_started(view);
                break;
            case Kind::kLoadFinished:
                if (notice.status > 0)
                    unshown_ = false;
                picture_->log_counts();
                events_.load_finished(view, notice.status);
                // A page of a new site may be drawn by another renderer than the screencast
                // began with: asked again, the browser sends the new page's picture.
                if (tracker_)
                    picture_->start();
                picture_->refresh_later();
                break;
            case Kind::kPageReady:
                events_.page_ready(view);
                break;
            case Kind::kLoadingState:
                events_.loading_state_changed(view, notice.is_loading, notice.can_go_back, notice.can_go_forward);
                break;
            case Kind::kAddressChanged:
                events_.address_changed(view, text);
                break;
            case Kind::kTitleChanged:
                events_.title_changed(view, text);
                break;
            case Kind::kConsoleMessage:
                events_.console_message(view, text);
                break;
            case Kind::kStatusText:
                events_.status_text_changed(view, text);
                break;
            case Kind::kNewWindow:
                popups_->leave_all();
                // Unless the application takes the new window over, the page opens here.
                if (may_follow_window() &&
                    !events_.new_window(view, text, static_cast<OpenDisposition>(notice.disposition)))
                    go_to(text);
                break;
        }
    }
    if (!alive.expired())
        ask_history_if_wanted();
}

void ChromiumView::ask_history_if_wanted() {
    if (!tracker_ || !tracker_->take_history_request())
        return;
    std::weak_ptr<bool> alive = alive_;
    command("Page.getNavigationHistory", Params(), [this, alive, number = page_number_](const Message* reply) {
        if (!alive.expired() && reply && number == page_number_ && tracker_)
            report(tracker_->on_history(*reply));
    });
}

}  // namespace quarnel::host
