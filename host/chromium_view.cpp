#include "host/chromium_view.h"

#include "host/chromium_engine_impl.h"
#include "winbase/text.h"

#include <algorithm>
#include <utility>

namespace quarnel::host {

namespace {

constexpr UINT kClosePopupsDelayMs = 1000;
// A navigation that has not begun this long after it was asked for, or a document the page has
// not taken this long after it came: the page's renderer no longer answers.
constexpr UINT kStartLimitMs = 4000;
constexpr UINT kCommitLimitMs = 2000;

// The view's own scripts run in a world of their own beside each document, where the page's
// scripts cannot see them: they share its document, not its globals. There they call these
// bindings with the address of the link under the mouse, the pointer shape the page asks for,
// and the document's title as a script changes it.
constexpr char kWorld[] = "view";
constexpr char kStatusBinding[] = "status";
constexpr char kCursorBinding[] = "cursor";
constexpr char kTitleBinding[] = "title";
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
        hwnd(), static_cast<PageChannel&>(*this), [this] { show_later(); },
        [this](const std::wstring& line) { engine_.log_frames(line); });
    picture_->watch_seen();
    input_.emplace(hwnd(), static_cast<PageChannel&>(*this), events_);
    dialogs_.emplace(hwnd(), static_cast<PageChannel&>(*this));
    // A page that leaves its source unanswered is replaced; a navigation under way goes on there.
    source_.emplace(hwnd(), static_cast<PageChannel&>(*this), [this] {
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

// Closes the page's target, which ends its renderer unless another page shares it.
void ChromiumView::close_target() {
    DevToolsLink* link = engine_.link();
    if (link && !target_.empty())
        link->send("Target.closeTarget", Params().text("targetId", target_));
}

void ChromiumView::command(const std::string& method, const Params& params, DevToolsLink::Reply reply) {
    DevToolsLink* link = engine_.link();
    if (link && tracker_)
        link->send(method, params, session_, std::move(reply));
    else if (reply)
        reply(nullptr);
}

// Every page is in the browser's own profile, so cookies, storage and the cache are the
// user's from one page and one start to the next. Each step checks that the page it opens is
// still wanted (`number`). The page opens once the engine knows what pages are to be told of
// the browser.
void ChromiumView::open_page() {
    DevToolsLink* link = engine_.link();
    if (builtin_ || opening_ || tracker_ || !link || !engine_.identity())
        return;
    opening_ = true;
    ++page_number_;
    // A window of its own: a page that shares a window is a background tab, which the browser
    // neither draws nor passes input to.
    link->send("Target.createTarget", Params().text("url", "about:blank").flag("newWindow", true), {},
               opening_step([this](const Message* created) {
                   std::optional<std::string> id = created ? string_at(*created, "/targetId") : std::nullopt;
                   if (!id) {
                       opening_ = false;
                       return;
                   }
                   engine_.link()->send("Target.attachToTarget", Params().text("targetId", *id).flag("flatten", true),
                                        {}, opening_step([this, id = *id](const Message* reply) {
                                            std::optional<std::string> session =
                                                reply ? string_at(*reply, "/sessionId") : std::nullopt;
                                            if (session)
                                                attached(id, *session);
                                            else
                                                opening_ = false;
                                        }));
               }));
}

// A reply of the browser while a page opens: `step` runs only while this view still opens that
// page and the browser is there.
DevToolsLink::Reply ChromiumView::opening_step(std::function<void(const Message*)> step) {
    return [this, alive = std::weak_ptr<bool>(alive_), number = page_number_,
            step = std::move(step)](const Message* reply) {
        if (!alive.expired() && number == page_number_ && opening_ && engine_.link())
            step(reply);
    };
}

void ChromiumView::attached(std::string target, std::string session) {
    opening_ = false;
    target_ = std::move(target);
    session_ = std::move(session);
    tracker_.emplace(target_, kStatusBinding, kTitleBinding);
    input_->page_replaced();
    command("Page.enable");
    command("Page.bringToFront");
    command("Network.enable");
    command("Runtime.enable");
    command("Page.setLifecycleEventsEnabled", Params().flag("enabled", true));
    // Before the first navigation, so that every document and its workers see it.
    command("Emulation.setUserAgentOverride", devtools::user_agent_override(*engine_.identity(), engine_.languages()));
    const std::pair<const char*, std::string> scripts[] = {
        {kStatusBinding, devtools::status_text_script(kStatusBinding)},
        {kTitleBinding, devtools::title_script(kTitleBinding)},
        {kCursorBinding, devtools::cursor_script(kCursorBinding)},
    };
    for (const auto& [binding, script] : scripts) {
        command("Runtime.addBinding", Params().text("name", binding).text("executionContextName", kWorld));
        command("Page.addScriptToEvaluateOnNewDocument", Params().text("source", script).text("worldName", kWorld));
    }
    RECT client{};
    GetClientRect(hwnd(), &client);
    resize(client.right, client.bottom);
    picture_->start();
    // The first navigation waits until the page's session has answered all of the above (its
    // answers come in order) and the browser has sized the page's window: a document that
    // commits before the view's scripts are in place runs without them, and one that commits
    // while its window is being sized reads a window of no size.
    set_up_ = false;
    window_id_.reset();
    std::weak_ptr<bool> alive = alive_;
    auto set_up = [this, alive, number = page_number_](const Message*) {
        if (alive.expired() || number != page_number_ || !tracker_)
            return;
        set_up_ = true;
        if (pending_address_)
            go_to(*std::exchange(pending_address_, std::nullopt));
    };
    auto size = [this, alive, number = page_number_, set_up](const Message* reply) {
        if (alive.expired() || number != page_number_)
            return;
        window_id_ = reply ? integer_at(*reply, "/windowId") : std::nullopt;
        RECT area{};
        GetClientRect(hwnd(), &area);
        if (!size_window(area.right, area.bottom, set_up))
            set_up(nullptr);
    };
    command("Page.getFrameTree", Params(), [this, alive, number = page_number_, size](const Message*) {
        DevToolsLink* link = engine_.link();
        if (alive.expired() || number != page_number_ || !link)
            return;
        link->send("Browser.getWindowForTarget", Params().text("targetId", target_), {}, size);
    });
}

void ChromiumView::close_page(bool load_goes_on) {
    close_target();
    page_lost(load_goes_on);
}

// A load under way ends as failed unless it goes on; a navigation asked for that had not begun
// (sent to a browser that was already gone) is made in the next page.
void ChromiumView::page_lost(bool load_goes_on) {
    if (watch_ == Watch::kStart && !pending_address_)
        pending_address_ = last_address_;
    if (tracker_ && !load_goes_on)
        report(tracker_->abandon(devtools::kNetFailed));
    ++page_number_;  // replies about the old page are dropped
    opening_ = false;
    tracker_.reset();
    target_.clear();
    session_.clear();
    window_id_.reset();
    popups_.clear();
    watch(Watch::kNone);
    dialogs_->forget();
    source_->answer_waiting();
}

// The page stopped answering or its renderer died: a fresh page takes its place. With
// `then_open` the fresh page loads that address, and the load under way goes on there (it is
// not reported as ended, so the application waits for the page it asked for); without, the load
// under way ends as failed.
void ChromiumView::replace_page(std::optional<std::wstring> then_open) {
    close_page(then_open.has_value());
    if (then_open)
        pending_address_ = std::move(then_open);
    open_page();
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
    for (Popup& popup : popups_)
        popup.handled = true;
    go_to(address);
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
    // A load still under way (a page whose load never ended) ends here as dropped: its end must
    // not be taken for the end of the load asked for now.
    std::weak_ptr<bool> alive = alive_;
    if (tracker_->is_loading()) {
        report(tracker_->abandon(devtools::kNetAborted));
        if (alive.expired() || !tracker_)
            return;
    }
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
    popups_.push_back(Popup{std::move(target), std::move(address)});
    SetTimer(hwnd(), kClosePopupsTimer, kClosePopupsDelayMs, nullptr);
}

void ChromiumView::popup_address(const std::string& target, const std::string& address) {
    for (Popup& popup : popups_) {
        if (popup.target == target && !address.empty())
            popup.address = address;
    }
}

// A page may open any number of windows, and each would take the view away from it: only those
// the user opened with a click or a key in the view are followed, as a browser's pop-up blocker
// lets only those through; none while the view is on its way to another page.
bool ChromiumView::may_follow_window() {
    return watch_ == Watch::kNone && input_->user_acted_lately();
}

// The browser's own windows for pop-ups go; one that the page did not announce is offered as a
// new window now.
void ChromiumView::close_popups() {
    KillTimer(hwnd(), kClosePopupsTimer);
    for (const Popup& popup : std::exchange(popups_, {})) {
        if (DevToolsLink* link = engine_.link())
            link->send("Target.closeTarget", Params().text("targetId", popup.target));
        if (popup.handled || popup.address.empty() || popup.address == "about:blank" || !may_follow_window())
            continue;
        std::wstring address = win::utf8_to_wide(popup.address);
        if (!events_.new_window(hwnd(), address, OpenDisposition::kNewForegroundTab))
            go_to(address);
    }
}

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
                for (Popup& popup : popups_)
                    popup.handled = true;
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

// Every request is answered once: with the source, or with nothing when there is no page, a
// dialog holds the page, or the page does not answer in time (then the page is replaced).
void ChromiumView::request_page_source(std::wstring_view frame, SourceAnswer answer) {
    if (builtin_)
        builtin_->request_page_source(frame, std::move(answer));
    else if (!tracker_ || dialogs_->open() || !engine_.link())
        answer(std::nullopt);
    else
        source_->request(frame, std::move(answer));
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
            if (picture_->on_timer(wp) || source_->on_timer(wp))
                return 0;
            switch (wp) {
                case kClosePopupsTimer:
                    close_popups();
                    return 0;
                case kNavigationWatchTimer:
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
