#include "host/chromium/chromium_view.h"

#include "host/chromium/chromium_engine_impl.h"
#include "winbase/text.h"

#include <algorithm>
#include <utility>

namespace quarnel::host {

// A load the view gives up is reported with the browser's number for an aborted request.
static_assert(devtools::kNetAborted == host_protocol::kLoadDropped);

namespace {

// A navigation that has not begun this long after it was asked for, or a document the page has
// not taken this long after it came: the page's renderer no longer answers.
constexpr UINT kStartLimitMs = 4000;
constexpr UINT kCommitLimitMs = 2000;
// A page that has left its source unanswered this long is taken for one that no longer answers
// when the view is sent elsewhere.
constexpr std::uint32_t kUnansweredSourceMs = 1000;

// What a browser's window adds around its page (frame, tabs, address bar): a page's window is
// larger than its viewport, as it is in a browser a person uses.
constexpr int kWindowFrameWidth = 16;
constexpr int kWindowFrameHeight = 88;
}  // namespace

bool ChromiumView::create(const ViewSettings& settings) {
    WNDCLASSEXW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpszClassName = L"QuarnelHostBrowserView";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    const RECT& area = settings.area;
    if (!create_window(wc, WS_EX_NOPARENTNOTIFY, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                       area.left, area.top, area.right - area.left, area.bottom - area.top, settings.parent, nullptr))
        return false;
    if (needs_mirror(settings.parent)) {
        mirror_ = std::make_unique<MirrorWindow>(
            hwnd(), [this](HWND target) { picture_->paint(target); }, false);
        if (!mirror_->create())
            mirror_.reset();
    }
    picture_.emplace(
        hwnd(), static_cast<PageChannel&>(*this), engine_.clock(), [this] { show_later(); },
        [this](const std::wstring& line) { engine_.log_frames(line); });
    picture_->watch_seen();
    input_.emplace(hwnd(), static_cast<PageChannel&>(*this), events_, engine_.clock());
    dialogs_.emplace(hwnd(), static_cast<PageChannel&>(*this));
    popups_.emplace(hwnd(), ViewPopups::Needs{
                                [this] { return may_follow_window(); },
                                [this](const std::string& target) {
                                    if (DevToolsLink* link = engine_.link())
                                        link->send("Target.closeTarget", Params().text("targetId", target));
                                },
                                [this](const std::wstring& address) {
                                    if (!events_.new_window(hwnd(), address, OpenDisposition::kNewForegroundTab))
                                        go_to(address);
                                },
                            });
    // A page that leaves its source unanswered is replaced; a navigation under way goes on there.
    source_.emplace(hwnd(), static_cast<PageChannel&>(*this), engine_.clock(), [this] {
        replace_page(watch_ != Watch::kNone ? std::optional<std::wstring>(last_address_) : std::nullopt);
    });
    return true;
}

ChromiumView::~ChromiumView() {
    engine_.forget(this);
    if (source_)
        source_->answer_waiting();
    close_target();
}

void ChromiumView::use_builtin(PageEngine& builtin) {
    page_lost();
    mirror_.reset();
    RECT client{};
    GetClientRect(hwnd(), &client);
    builtin_ = builtin.create_view(ViewSettings{hwnd(), client}, *this);
    std::optional<std::wstring> address = std::exchange(pending_address_, std::nullopt);
    if (!address && !last_address_.empty())
        address = last_address_;
    if (builtin_ && address)
        builtin_->navigate(*address);
}

void ChromiumView::navigate(std::wstring_view address) {
    if (builtin_) {
        builtin_->navigate(address);
        return;
    }
    // The windows the page being left opened are not followed any more.
    popups_->leave_all();
    // A page that does not answer (its script never yields) would hold the navigation until the
    // watchdog gives up on it: the next page is made in a fresh one at once.
    if (tracker_ && set_up_ &&
        (navigations_ >= engine_.navigations_per_page() || source_->waited_for(kUnansweredSourceMs))) {
        renew_page(address);
        return;
    }
    go_to(address);
}

// The page's cookies, local storage and cache are the profile's and stay; its session storage,
// its back and forward list, and the renderer with all the page showed before, go.
void ChromiumView::renew_page(std::wstring_view address) {
    if (!drop_load_under_way())
        return;
    last_address_ = std::wstring(address);
    unshown_ = true;
    retried_ = false;
    replace_page(last_address_);
}

void ChromiumView::go_to(std::wstring_view address) {
    last_address_ = std::wstring(address);
    unshown_ = true;
    // A dialog still open would hold the navigation: it is dismissed first.
    dialogs_->dismiss();
    if (!tracker_ || !set_up_) {
        pending_address_ = std::wstring(address);
        return;
    }
    ++navigations_;
    // A load still under way (a page whose load never ended) ends here as dropped: its end must
    // not be taken for the end of the load asked for now.
    if (!drop_load_under_way())
        return;
    std::weak_ptr<bool> alive = alive_;
    load_began_ = false;
    watch(Watch::kStart);
    command("Page.navigate", Params().text("url", win::wide_to_utf8(address)),
            [this, alive, number = page_number_](const Message* reply) {
                if (alive.expired() || number != page_number_ || !tracker_)
                    return;
                if (watch_ == Watch::kStart && reply)
                    watch(Watch::kResponse);
                // A navigation the browser refused outright (an address it cannot load, a file it
                // does not save) brings no events: its load is reported here.
                std::string error = reply ? string_at(*reply, "/errorText").value_or("") : "";
                if (error.empty() || load_began_ || tracker_->is_loading())
                    return;
                watch(Watch::kNone);
                report_whole_load(devtools::network_error_code(error));
            });
}

// A load still under way ends as dropped. False when the view or its page went meanwhile (the
// report's handler may end either).
bool ChromiumView::drop_load_under_way() {
    if (!tracker_->is_loading())
        return true;
    std::weak_ptr<bool> alive = alive_;
    report(tracker_->abandon(devtools::kNetAborted));
    return !alive.expired() && tracker_;
}

// A load that brought no events of its own, reported as one that began and ended.
void ChromiumView::report_whole_load(int status) {
    load_began_ = true;
    HWND view = hwnd();
    events_.load_started(view);
    events_.load_finished(view, status);
    events_.loading_state_changed(view, false, false, false);
}

// A deadline already running stays: a page that did not take its document is not given more
// time by the next navigation asked of it.
void ChromiumView::watch(Watch what) {
    auto timed = [](Watch w) { return w == Watch::kStart || w == Watch::kCommit; };
    bool running = timed(watch_);
    watch_ = what;
    if (!timed(what))
        KillTimer(hwnd(), kNavigationWatchTimer);
    else if (!running)
        SetTimer(hwnd(), kNavigationWatchTimer, what == Watch::kStart ? kStartLimitMs : kCommitLimitMs, nullptr);
}

// The fresh page loads the address that could not be shown, once: an address whose own page
// stops answering at once is not tried again.
void ChromiumView::watch_timed_out() {
    bool retry = watch_ != Watch::kNone && !retried_;
    // A navigation that never began has no load to end: its failure is told as a whole load.
    bool untold = !retry && watch_ != Watch::kNone && !tracker_->is_loading();
    watch(Watch::kNone);
    retried_ = retry;
    replace_page(retry ? std::optional<std::wstring>(last_address_) : std::nullopt);
    if (untold)
        report_whole_load(devtools::kNetFailed);
}

void ChromiumView::on_event(const Message& event) {
    if (!tracker_ || builtin_)
        return;
    const std::string& method = event.method;
    if (method == "Inspector.targetCrashed" || method == "Target.targetCrashed") {
        renderer_died();
        return;
    }
    if (method == "Page.screencastFrame") {
        picture_->on_frame(event);
        return;
    }
    if (method == "Page.javascriptDialogOpening") {
        dialogs_->on_opening(event, input_->user_acted_lately() && IsWindowVisible(hwnd()));
        return;
    }
    if (method == "Runtime.bindingCalled" && string_at(event, "/name") == kCursorBinding) {
        input_->set_cursor(string_at(event, "/payload").value_or(""));
        return;
    }
    if (method == "Browser.downloadWillBegin" || method == "Page.downloadWillBegin") {
        // The file is refused; the page shown stays, and its load ends as an aborted one.
        watch(Watch::kNone);
        if (tracker_->is_loading()) {
            report(tracker_->abandon(devtools::kNetAborted));
        } else if (!load_began_) {
            report_whole_load(devtools::kNetAborted);
        }
        return;
    }
    bool main_frame = string_at(event, "/frameId") == target_ || string_at(event, "/frame/id") == target_;
    if (main_frame && string_at(event, "/type") == "Document") {
        if (method == "Network.requestWillBeSent") {
            document_request_ = string_at(event, "/requestId").value_or("");
            if (watch_ == Watch::kStart)
                watch(Watch::kResponse);
        } else if (method == "Network.responseReceived" && watch_ == Watch::kResponse) {
            watch(Watch::kCommit);
        }
    }
    if (method == "Network.loadingFailed" && string_at(event, "/requestId") == document_request_) {
        watch(Watch::kNone);
        // A document that failed for a reason of its own gets an error page, whose load ends
        // the load; one the browser dropped (a file refused, a navigation cut short) gets none.
        if (string_at(event, "/errorText") == "net::ERR_ABORTED" && tracker_->is_loading()) {
            report(tracker_->abandon(devtools::kNetAborted));
            return;
        }
    }
    // The page took the document: its main frame committed, or its renderer runs the document.
    bool committed =
        (method == "Page.frameNavigated" && !string_at(event, "/frame/parentId")) ||
        (method == "Page.lifecycleEvent" && main_frame) ||
        (method == "Runtime.executionContextCreated" && string_at(event, "/context/auxData/frameId") == target_) ||
        method == "Page.domContentEventFired" || method == "Page.loadEventFired";
    if (committed && (watch_ == Watch::kResponse || watch_ == Watch::kCommit)) {
        watch(Watch::kNone);
        retried_ = false;
    }
    report(tracker_->on_event(event));
}

// The page's renderer died. A load under way (the one the application asked for last, or the
// page's own) goes on in a fresh page, once: it is not reported as ended, so the application's
// capture waits for that page's own load, and the address asked for last, which the dying
// renderer may have dropped, is not lost. A page whose renderer dies again as it loads costs
// its own load.
void ChromiumView::renderer_died() {
    bool retry = (unshown_ || tracker_->is_loading()) && !retried_ && !last_address_.empty();
    retried_ = retry;
    // A navigation that had not begun has no load to end: its failure is told as a whole load.
    bool untold = !retry && watch_ != Watch::kNone && !tracker_->is_loading();
    replace_page(retry ? std::optional<std::wstring>(last_address_) : std::nullopt);
    if (untold)
        report_whole_load(devtools::kNetFailed);
}

void ChromiumView::close_popup_later(std::string target, std::string address) {
    popups_->opened(std::move(target), std::move(address));
}

void ChromiumView::popup_address(const std::string& target, const std::string& address) {
    popups_->address_of(target, address);
}

// A page may open any number of windows, and each would take the view away from it: only those
// the user opened with a click or a key in the view are followed, as a browser's pop-up blocker
// lets only those through; none while the view is on its way to another page.
bool ChromiumView::may_follow_window() {
    return watch_ == Watch::kNone && input_->user_acted_lately();
}

// Every request is answered once: with the source, or with nothing when there is no page, a
// dialog holds the page, or the page does not answer in time (then the page is replaced). A
// fresh page (after the browser was started again) shows a blank document until it is sent
// somewhere: that is no page of the application's either.
void ChromiumView::request_page_source(std::wstring_view frame, SourceAnswer answer) {
    if (builtin_)
        builtin_->request_page_source(frame, std::move(answer));
    else if (!tracker_ || dialogs_->open() || !engine_.link() || shows_placeholder())
        answer(std::nullopt);
    else
        source_->request(frame, std::move(answer));
}

bool ChromiumView::shows_placeholder() const {
    const std::optional<std::string>& address = tracker_->address();
    return (!address || *address == "about:blank") && last_address_ != L"about:blank";
}

void ChromiumView::resize(int width, int height) {
    if (hwnd())
        SetWindowPos(hwnd(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (builtin_) {
        builtin_->resize(width, height);
        return;
    }
    // The page's viewport takes the view's size; the browser's next pictures come at that size.
    if (!tracker_)
        return;
    command("Emulation.setDeviceMetricsOverride", Params()
                                                      .integer("width", std::max(width, 1))
                                                      .integer("height", std::max(height, 1))
                                                      .number("deviceScaleFactor", engine_.desktop().scale)
                                                      .flag("mobile", false));
    size_window(width, height);
    picture_->refresh_later();
}

// The browser's window for the page is a little larger than the view, as a browser's window is
// larger than its page. False when there is no window to size.
bool ChromiumView::size_window(int width, int height, DevToolsLink::Reply done) {
    DevToolsLink* link = engine_.link();
    if (!link || !window_id_)
        return false;
    Params bounds;
    bounds.integer("width", std::max(width, 1) + kWindowFrameWidth)
        .integer("height", std::max(height, 1) + kWindowFrameHeight);
    link->send("Browser.setWindowBounds", Params().integer("windowId", *window_id_).object("bounds", bounds), {},
               std::move(done));
    return true;
}

void ChromiumView::show_later() {
    InvalidateRect(hwnd(), nullptr, FALSE);
    if (mirror_)
        mirror_->invalidate();
}

LRESULT ChromiumView::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            // Under Wine nobody sees the view's own pixels: the mirror shows them. The built-in
            // view, once there, covers this one.
            if (mirror_ || builtin_) {
                picture_->draw_newest();
                ValidateRect(hwnd(), nullptr);
            } else {
                picture_->paint(hwnd());
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_TIMER:
            if (picture_->on_timer(wp) || source_->on_timer(wp) || popups_->on_timer(wp))
                return 0;
            if (wp == kNavigationWatchTimer) {
                watch_timed_out();
                return 0;
            }
            break;
        case WM_DESTROY:
            mirror_.reset();
            picture_->log_counts();
            events_.view_closing(hwnd());
            break;
        default:
            if (dialogs_ && dialogs_->on_message(msg))
                return 0;
            if (!builtin_ && input_) {
                if (std::optional<LRESULT> taken = input_->handle(msg, wp, lp))
                    return *taken;
            }
            break;
    }
    return Window::handle_message(msg, wp, lp);
}

}  // namespace quarnel::host
