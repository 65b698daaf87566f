#include "host/chromium/chromium_engine_impl.h"

#include "host/chromium/chromium_view.h"
#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel::host {

namespace {

// How long a browser gets to write its DevTools port (well under a second here, a few seconds on
// a slow machine), looked for this often.
constexpr DWORD kStartTimeoutMs = 15000;
constexpr UINT_PTR kPortTimer = 1;
constexpr UINT kPortPeriodMs = 50;
// Told by the link that the browser's connection ended; handled outside the link's own call.
constexpr UINT kConnectionLostMessage = WM_APP + 1;
// How long a browser asked to close gets to write its profile and end.
constexpr DWORD kCloseWaitMs = 5000;
// The first launch, once the host has said it is ready.
constexpr UINT kFirstLaunchMessage = WM_APP + 2;
// Looked for this often until the browser closed.
constexpr UINT_PTR kClosedTimer = 4;
constexpr UINT kClosedPollMs = 50;
// A launch put off: the profile was still held, or its browser failed once already. Whether its
// wait is over is looked at this often.
constexpr UINT_PTR kRelaunchTimer = 2;
constexpr UINT kLockPollMs = 250;
// How long a browser left by an earlier run gets to let go of the profile (the Windows job or
// the shell under Wine ends it within a few seconds of its host).
constexpr DWORD kProfileWaitMs = 5000;

}  // namespace

ChromiumEngine::ChromiumEngine(ChromiumOptions options) : options_(std::move(options)) {
    // The one place the host reads the system's clock: everything else is given this one.
    if (!options_.clock)
        options_.clock = [] { return static_cast<std::uint32_t>(GetTickCount()); };
}

ChromiumEngine::~ChromiumEngine() {
    shut_down();
}

bool ChromiumEngine::start() {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelBrowserSupervisor";
    if (!create_window(wc, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr))
        return false;
    std::wstring base = options_.cache_path;
    if (base.empty()) {
        wchar_t temp[MAX_PATH];
        DWORD size = GetTempPathW(MAX_PATH, temp);
        base = std::wstring(temp, size) + L"quarnel-host";
    }
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/'))
        base.pop_back();
    CreateDirectoryW(base.c_str(), nullptr);
    base_ = base;
    profile_ = profile_folder(base_);
    std::string learned = win::read_file_bytes(base_ + kLearnedAgentFile).value_or("");
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = learned.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(learned.substr(at, end - at));
    if (lines.size() == 3 && !lines[2].empty())
        learned_ = LearnedAgent{lines[0], lines[1], lines[2]};
    if (!options_.locale.empty())
        languages_ = devtools::accept_languages(options_.locale);
    if (options_.browsers.empty())
        give_up(L"no browser found");
    else
        PostMessageW(hwnd(), kFirstLaunchMessage, 0, 0);
    return true;
}

// Starting and starting again are one path: the browser is launched, and its port looked for
// without holding the host's thread. A profile still held by a browser of an earlier run is
// waited for; one held longer is set aside.
void ChromiumEngine::launch() {
    KillTimer(hwnd(), kRelaunchTimer);
    retry_since_ = 0;
    if (profile_locked(profile_)) {
        std::uint32_t now = options_.clock();
        if (!lock_seen_at_)
            lock_seen_at_ = now ? now : 1;
        if (now - lock_seen_at_ < kProfileWaitMs) {
            SetTimer(hwnd(), kRelaunchTimer, kLockPollMs, nullptr);
            return;
        }
        set_profile_aside(L"another browser still held it after " + std::to_wstring(kProfileWaitMs / 1000) + L" s");
    }
    lock_seen_at_ = 0;
    profile_was_used_ = profile_used(profile_);
    std::wstring failure;
    std::wstring agent = options_.user_agent;
    learned_agent_used_ =
        agent.empty() && learned_ && learned_->browser == win::wide_to_utf8(options_.browsers[candidate_]);
    if (learned_agent_used_)
        agent = win::utf8_to_wide(learned_->agent);
    BrowserLaunch settings{options_.browsers[candidate_], profile_, agent, options_.locale, options_.desktop};
    if (!browser_.start(settings, ++launches_, failure)) {
        launch_failed(failure);
        return;
    }
    launched_at_ = options_.clock();
    SetTimer(hwnd(), kPortTimer, kPortPeriodMs, nullptr);
}

// A launch put off is made once its wait is over: a profile still held is looked at again at
// each poll, a failed launch with a used profile waits kProfileWaitMs first.
void ChromiumEngine::relaunch_when_due() {
    if (retry_since_ && options_.clock() - retry_since_ < kProfileWaitMs)
        return;
    launch();
}

void ChromiumEngine::look_for_port() {
    if (std::optional<devtools::ActivePort> port = browser_.active_port()) {
        KillTimer(hwnd(), kPortTimer);
        if (!connect(*port))
            launch_failed(L"no DevTools connection on port " + std::to_wstring(port->port));
        return;
    }
    if (browser_.ended()) {
        KillTimer(hwnd(), kPortTimer);
        launch_failed(options_.browsers[candidate_] + L" ended before it answered");
        return;
    }
    if (options_.clock() - launched_at_ >= kStartTimeoutMs) {
        KillTimer(hwnd(), kPortTimer);
        launch_failed(options_.browsers[candidate_] + L" wrote no DevToolsActivePort within 15 s");
    }
}

bool ChromiumEngine::connect(const devtools::ActivePort& port) {
    auto link = std::make_unique<DevToolsLink>(options_.clock);
    if (!link->connect(port.port, port.browser_path, 10000))
        return false;
    link_ = std::move(link);
    connected_port_ = port.port;
    profile_retried_ = false;
    HWND supervisor = hwnd();
    link_->on_closed = [supervisor] { PostMessageW(supervisor, kConnectionLostMessage, 0, 0); };
    link_->on_event = [this](const Message& event) { on_event(event); };
    // Pop-ups the pages open appear as new targets; they are closed (the application is asked
    // about them through Page.windowOpen).
    link_->send("Target.setDiscoverTargets", Params().flag("discover", true));
    // Whatever a page answers with a file is not saved anywhere.
    link_->send("Browser.setDownloadBehavior", Params().text("behavior", "deny").flag("eventsEnabled", true));
    if (!connected_once_) {
        connected_once_ = true;
        write_log(L"engine: " + options_.browsers[candidate_]);
    }
    identity_.reset();
    probe_target_.clear();
    probe_attempts_ = 0;
    link_->send("Browser.getVersion", Params(), {}, [this, port = port.port](const Message* reply) {
        probe_agent_ = reply ? string_at(*reply, "/userAgent").value_or("") : "";
        probe_product_ = reply ? string_at(*reply, "/product").value_or("") : "";
        if (!this->link())
            return;
        // A page of the browser's own DevTools server: nothing outside this machine is asked.
        std::string probe = "http://127.0.0.1:" + std::to_string(port) + "/json/version";
        link_->send("Target.createTarget", Params().text("url", probe), {}, [this](const Message* created) {
            probe_target_ = created ? string_at(*created, "/targetId").value_or("") : "";
            if (!this->link() || probe_target_.empty()) {
                identity_known("");
                return;
            }
            link_->send("Target.attachToTarget", Params().text("targetId", probe_target_).flag("flatten", true), {},
                        [this](const Message* attached) {
                            probe_session_ = attached ? string_at(*attached, "/sessionId").value_or("") : "";
                            if (probe_session_.empty())
                                identity_known("");
                            else
                                ask_identity();
                        });
        });
    });
    return true;
}

void ChromiumEngine::connection_lost() {
    if (!link_ || link_->open() || ended_)
        return;
    for (ChromiumView* view : std::vector<ChromiumView*>(views_))
        view->page_lost();
    link_.reset();
    // A browser that started itself again (as Edge may) writes its new port: it is taken as it is.
    std::optional<devtools::ActivePort> port = browser_.active_port();
    if (port && port->port != connected_port_ && connect(*port))
        return;
    browser_ended(L"the browser ended");
}

// A launch that did not answer. With a profile an earlier browser used, that browser may still
// be ending with it (under Wine its lock cannot be seen from here), or the profile is damaged:
// it is tried once more a moment later, then set aside for a new one. A browser that does not
// answer with a new profile makes way for the next browser.
void ChromiumEngine::launch_failed(const std::wstring& why) {
    if (ended_)
        return;
    log_ += L"not used: " + why + L"\r\n";
    browser_.end();
    // A browser that answered before is started again a few times a minute at most, whatever
    // keeps it from answering now.
    if (connected_once_ && !restarts_.take(options_.clock())) {
        give_up(L"the browser ended " + std::to_wstring(restarts_.recent() + 1) + L" times within a minute");
        return;
    }
    if (profile_was_used_ && !profile_retried_) {
        profile_retried_ = true;
        std::uint32_t now = options_.clock();
        retry_since_ = now ? now : 1;
        SetTimer(hwnd(), kRelaunchTimer, kLockPollMs, nullptr);
        return;
    }
    if (profile_was_used_) {
        set_profile_aside(why);
        launch();
        return;
    }
    profile_retried_ = false;
    if (connected_once_)
        launch();
    else if (++candidate_ < options_.browsers.size())
        launch();
    else
        give_up(L"no browser answered");
}

// The user's data is never deleted: the profile moves beside itself and a new one is made.
// Where it cannot move (a browser still holds it), this host's browsers take a folder of their
// own beside it.
void ChromiumEngine::set_profile_aside(const std::wstring& why) {
    profile_retried_ = false;
    std::optional<std::wstring> aside = move_profile_aside(profile_);
    if (aside) {
        log_ += L"profile moved to " + *aside + L" (" + why + L"); a new one was made\r\n";
    } else {
        profile_ = profile_folder(base_) + L"-" + std::to_wstring(GetCurrentProcessId());
        log_ += L"profile left as it was (" + why + L"); this run uses " + profile_ + L"\r\n";
    }
    write_log(connected_once_ ? L"engine: " + options_.browsers[candidate_] : L"engine: starting");
}

// A browser that answered and ended is started again, a few times a minute at most.
void ChromiumEngine::browser_ended(const std::wstring& why) {
    if (ended_)
        return;
    log_ += L"not used: " + why + L"\r\n";
    browser_.end();
    if (!restarts_.take(options_.clock())) {
        give_up(L"the browser ended " + std::to_wstring(restarts_.recent() + 1) + L" times within a minute");
        return;
    }
    launch();
}

void ChromiumEngine::give_up(const std::wstring& why) {
    for (UINT_PTR timer : {kPortTimer, kRelaunchTimer, kIdentityTimer, kClosedTimer})
        KillTimer(hwnd(), timer);
    link_.reset();
    browser_.end();
    builtin_ = make_builtin_engine(options_.user_agent);
    write_log(L"engine: built-in (" + why + L")");
    for (ChromiumView* view : std::vector<ChromiumView*>(views_))
        view->use_builtin(*builtin_);
}

void ChromiumEngine::write_log(const std::wstring& last_line) {
    write_engine_log(options_.cache_path, log_ + last_line + L"\r\n");
}

LRESULT ChromiumEngine::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_TIMER:
            switch (wp) {
                case kPortTimer:
                    look_for_port();
                    return 0;
                case kRelaunchTimer:
                    relaunch_when_due();
                    return 0;
                case kIdentityTimer:
                    ask_identity();
                    return 0;
                case kClosedTimer:
                    if (browser_.wait_for_end(0) || options_.clock() - closing_since_ >= kCloseWaitMs) {
                        KillTimer(hwnd(), kClosedTimer);
                        link_.reset();
                        browser_.end();
                        launch();
                    }
                    return 0;
            }
            break;
        case kConnectionLostMessage:
            connection_lost();
            return 0;
        case kRelaunchWithAgentMessage:
            // Closed, so that it writes its profile and lets go of it, then started again.
            if (link_) {
                link_->on_closed = nullptr;
                link_->on_event = nullptr;
                link_->send("Browser.close");
            }
            closing_since_ = options_.clock();
            SetTimer(hwnd(), kClosedTimer, kClosedPollMs, nullptr);
            return 0;
        case kFirstLaunchMessage:
            // What hosts that ended without clearing up left goes first; it may take a moment
            // (a Linux rm under Wine), which the window's start does not wait for.
            delete_left_profiles(base_);
            launch();
            return 0;
    }
    return Window::handle_message(msg, wp, lp);
}

void ChromiumEngine::log_frames(const std::wstring& line) {
    // A log that has grown past a megabyte begins again: it is for looking at now, not a record.
    std::wstring path = base_ + L"\\host-frames.log";
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    bool full = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes) &&
                (attributes.nFileSizeHigh > 0 || attributes.nFileSizeLow > 1024 * 1024);
    win::UniqueFile log(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    full ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text = win::wide_to_utf8(line);
    DWORD written = 0;
    if (log)
        WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void ChromiumEngine::shut_down() {
    ended_ = true;
    if (hwnd()) {
        for (UINT_PTR timer : {kPortTimer, kRelaunchTimer, kIdentityTimer, kClosedTimer})
            KillTimer(hwnd(), timer);
    }
    if (link_) {
        link_->on_closed = nullptr;
        link_->on_event = nullptr;
        if (link_->open())
            link_->send("Browser.close");
        // A moment for the browser to close its profile cleanly before it is ended.
        // Only the link's own messages are taken. A WM_QUIT comes whatever the filter: it is put
        // back for the host's message loop, which must still end.
        for (int i = 0; i < 20 && link_->open(); ++i) {
            MSG msg;
            if (!PeekMessageW(&msg, link_->window(), 0, 0, PM_REMOVE)) {
                Sleep(50);
                continue;
            }
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            DispatchMessageW(&msg);
        }
        link_.reset();
        // The browser writes the profile's last changes (cookies among them) as it closes: the
        // next start of the program must find them, and must not find this browser still
        // holding the profile.
        browser_.wait_for_end(kCloseWaitMs);
    }
    browser_.end();
}

void ChromiumEngine::on_event(const Message& event) {
    const std::string& method = event.method;
    if (method == "Target.targetCreated") {
        // A pop-up of one of the views: the application was asked about it (Page.windowOpen) and
        // it opens in the view if at all, so the browser's own window for it goes.
        std::string opener = string_at(event, "/targetInfo/openerId").value_or("");
        if (string_at(event, "/targetInfo/type") != "page" || opener.empty())
            return;
        for (ChromiumView* view : views_) {
            if (view->target() == opener) {
                view->close_popup_later(string_at(event, "/targetInfo/targetId").value_or(""),
                                        string_at(event, "/targetInfo/url").value_or(""));
                return;
            }
        }
        return;
    }
    if (method == "Target.targetInfoChanged") {
        for (ChromiumView* view : views_)
            view->popup_address(string_at(event, "/targetInfo/targetId").value_or(""),
                                string_at(event, "/targetInfo/url").value_or(""));
    }
    // Events of the browser's session about one target: the view of that target (a download's
    // frame is its page's main frame, whose id is the target's). Titles and addresses come for
    // every target: each view's tracker keeps its own target's.
    std::string about;
    if (method == "Target.targetCrashed")
        about = string_at(event, "/targetId").value_or("");
    else if (method == "Browser.downloadWillBegin")
        about = string_at(event, "/frameId").value_or("");
    for (ChromiumView* view : std::vector<ChromiumView*>(views_)) {
        bool for_view = event.session_id.empty()
                            ? method == "Target.targetInfoChanged" || (!about.empty() && view->target() == about)
                            : view->session() == event.session_id;
        if (for_view)
            view->on_event(event);
    }
}

std::unique_ptr<EngineView> ChromiumEngine::create_view(const ViewSettings& settings, EngineEvents& events) {
    if (builtin_)
        return builtin_->create_view(settings, events);
    if (ended_)
        return nullptr;
    auto view = std::make_unique<ChromiumView>(*this, events);
    if (!view->create(settings))
        return nullptr;
    views_.push_back(view.get());
    view->open_page();
    return view;
}

std::unique_ptr<PageEngine> start_chromium_engine(const ChromiumOptions& options) {
    auto engine = std::make_unique<ChromiumEngine>(options);
    if (!engine->start())
        return nullptr;
    return engine;
}

}  // namespace quarnel::host
