// The browser engine: the host starts an installed Chromium-family browser headless with a
// profile of its own, talks to it over one DevTools WebSocket (flat sessions, one page target
// per child view), turns the protocol's events into the host's notifications, and ends the
// browser on every way out.

#include "host/chromium_engine.h"

#include "core/base64.h"
#include "core/devtools_endpoints.h"
#include "core/devtools_page.h"
#include "core/page_input.h"
#include "core/picture.h"
#include "host/devtools_link.h"
#include "host/mirror_window.h"
#include "winbase/files.h"
#include "winbase/handles.h"
#include "winbase/text.h"

#include <imm.h>
#include <windowsx.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace quarnel::host {

namespace {

// How long a browser gets to write its DevTools port (well under a second here, a few seconds on
// a slow machine). Two browsers that fail in turn still leave the built-in engine time to start
// within the browser view's wait for the host.
constexpr DWORD kStartTimeoutMs = 15000;
constexpr wchar_t kProfilePrefix[] = L"browser-profile-";
constexpr UINT_PTR kClosePopupsTimer = 1;
constexpr UINT kClosePopupsDelayMs = 1000;
// Once the browser's pictures stop, the view asks for one more this much later: the browser
// skips pictures while two of its own are unacknowledged, and the last one may be among them.
constexpr UINT_PTR kSettleTimer = 2;
constexpr UINT kSettleDelayMs = 200;
// The bindings the page scripts call with the address of the link under the mouse, the pointer
// shape the page asks for, and the document's title as a script changes it.
constexpr char kStatusBinding[] = "__quarnelStatus";
constexpr char kCursorBinding[] = "__quarnelCursor";
constexpr char kTitleBinding[] = "__quarnelTitle";
// The browser's pictures of the page: JPEG at this quality (of 100).
constexpr int kFrameQuality = 80;
// The page scrolls this many pixels for one notch of the wheel (120), as browsers on Windows do.
constexpr double kPixelsPerNotch = 100.0;
// Key-state bits of the browser view's key event.
constexpr int kKeyStateShift = 2;
constexpr int kKeyStateControl = 4;
constexpr int kKeyStateAlt = 8;
// The document as a browser's "view source of the current page": doctype and all, as it stands.
constexpr char kSourceExpression[] =
    "(document.doctype ? new XMLSerializer().serializeToString(document.doctype) + '\\n' : '') + "
    "(document.documentElement ? document.documentElement.outerHTML : '')";

// One argument of a command line, quoted so that the receiving side splits it back unchanged.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// Deletes the folder and everything in it, as far as it can (a file still open stays).
void delete_folder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            // A link to a folder is removed, not followed.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                delete_folder(path);
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// Under Wine: removes the folder with the Linux rm, which sees what Wine's file functions do not
// (a dangling link), and waits a moment for it to go.
void remove_with_unix_shell(const std::wstring& folder) {
    std::optional<std::string> unix_folder = win::unix_path_under_wine(folder);
    if (!unix_folder)
        return;
    std::wstring command_line = quoted(L"Z:\\bin\\rm") + L" -rf -- " + quoted(win::utf8_to_wide(*unix_folder));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\rm", command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process))
        return;
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    for (int i = 0; i < 40 && GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(25);
}

// Profile folders of hosts that ended without clearing theirs (a crash): a browser of theirs
// still holding one has ended with them.
void delete_left_profiles(const std::wstring& base) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((base + L"\\" + kProfilePrefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> left;
    do {
        DWORD pid = wcstoul(found.cFileName + wcslen(kProfilePrefix), nullptr, 10);
        win::UniqueKernelHandle owner(OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (pid != GetCurrentProcessId() && (!owner || WaitForSingleObject(owner.get(), 0) == WAIT_OBJECT_0))
            left.push_back(base + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& folder : left) {
        delete_folder(folder);
        if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES)
            remove_with_unix_shell(folder);
    }
}

// Under Wine, this process's number on the Linux side, read from Linux's own account of it.
std::optional<int> linux_process_id() {
    // Read as a stream: Linux gives such files no size.
    win::UniqueFile file(CreateFileW(L"Z:\\proc\\self\\stat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    char text[32] = {};
    DWORD read = 0;
    if (!file || !ReadFile(file.get(), text, sizeof(text) - 1, &read, nullptr))
        return std::nullopt;
    int pid = atoi(text);
    return pid > 0 ? std::optional<int>(pid) : std::nullopt;
}

// Whether `program` is a Linux program seen from Wine (Debian's chromium), not a Windows one
// installed in Wine's drives: it then takes Linux paths and runs under the watching shell.
bool is_linux_program(const std::wstring& program) {
    if (!win::unix_path_under_wine(program))
        return false;
    win::UniqueFile file(
        CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char magic[2] = {};
    DWORD read = 0;
    return file && ReadFile(file.get(), magic, sizeof(magic), &read, nullptr) &&
           !(read == 2 && magic[0] == 'M' && magic[1] == 'Z');
}

// The started browser. On Windows it runs in a job that ends it when the host's last handle
// goes, however the host ends. Under Wine the Linux browser runs under a shell that ends it once
// the host's process is gone.
class BrowserProcess {
public:
    ~BrowserProcess() { end(); }

    // `linux_program`: the browser is a Linux program started from Wine (see is_linux_program).
    bool start(const std::wstring& browser, std::vector<std::wstring> arguments, bool linux_program) {
        std::wstring command_line;
        if (linux_program) {
            std::optional<std::string> program = win::unix_path_under_wine(browser);
            if (!program)
                return false;
            // The loop ends the browser when the host's process (its Linux number) is gone. Wine
            // starts Linux programs detached, so the shell's parent is not the host. The browser's
            // chatter goes nowhere: it must not hold the output of whoever started the program.
            std::optional<int> host = linux_process_id();
            if (!host)
                return false;
            const wchar_t kWatch[] =
                L"exec >/dev/null 2>&1; host=$1; shift; \"$0\" \"$@\" & browser=$!; "
                L"while kill -0 $host && kill -0 $browser; do sleep 1; done; "
                L"kill $browser; sleep 5; kill -9 $browser";
            command_line = quoted(L"Z:\\bin\\sh") + L" -c " + quoted(kWatch) + L" " +
                           quoted(win::utf8_to_wide(*program)) + L" " + std::to_wstring(*host);
        } else {
            command_line = quoted(browser);
            job_.reset(CreateJobObjectW(nullptr, nullptr));
            if (job_) {
                JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
                limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
                SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
            }
        }
        for (const std::wstring& argument : arguments)
            command_line += L" " + quoted(argument);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION process{};
        std::wstring program = linux_program ? L"Z:\\bin\\sh" : browser;
        if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                            CREATE_NO_WINDOW | (job_ ? CREATE_SUSPENDED : 0), nullptr, nullptr, &startup, &process))
            return false;
        // Wine gives no usable handles for a Linux program.
        if (process.hThread) {
            if (job_)
                AssignProcessToJobObject(job_.get(), process.hProcess);
            ResumeThread(process.hThread);
            CloseHandle(process.hThread);
        }
        process_.reset(process.hProcess);
        return true;
    }

    // Ends the browser now (the graceful way, Browser.close, is the engine's).
    void end() {
        if (job_) {
            TerminateJobObject(job_.get(), 0);
            job_.reset();
        }
        if (process_)
            TerminateProcess(process_.get(), 0);
        process_.reset();
    }

private:
    win::UniqueKernelHandle job_;
    win::UniqueKernelHandle process_;
};

class ChromiumEngine;

class ChromiumView final : public EngineView, private ui::Window {
public:
    ChromiumView(ChromiumEngine& engine, EngineEvents& events) : engine_(engine), events_(events) {}
    ~ChromiumView() override;

    bool create(const ViewSettings& settings);
    HWND hwnd() const override { return Window::hwnd(); }
    void navigate(std::wstring_view address) override;
    void request_page_source(std::wstring_view frame, SourceAnswer answer) override;
    void resize(int width, int height) override;

    const std::string& session() const { return session_; }
    const std::string& target() const { return target_; }
    // An event of the page's session, or of the browser's about any target.
    void on_event(const Message& event);
    // The page's renderer or the whole browser is gone: a load under way ends as failed.
    void abandon(int status);
    // A pop-up target the page opened: closed a moment later, once the browser has told of it
    // (Page.windowOpen), which it may not do for a target already closed. When it did not tell,
    // the pop-up's address is offered as a new window then.
    void close_popup_later(std::string target, std::string address);
    void popup_address(const std::string& target, const std::string& address);

private:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void attached(std::string target, std::string session);
    void command(const std::string& method, const Params& params = Params(), DevToolsLink::Reply reply = {});
    void report(const std::vector<devtools::PageNotice>& notices);
    void ask_history_if_wanted();
    void evaluate_source(std::optional<long long> context, SourceAnswer answer);
    void paint_window(HWND target);

    // The page's pictures.
    void start_screencast();
    void on_frame(const Message& event);
    void draw_newest_frame();
    void refresh_frame();
    void log_pictures();
    void show_frame_later();
    // Input passed on to the page.
    void on_mouse(UINT msg, WPARAM wp, LPARAM lp);
    void send_mouse(const char* type, POINT at, const char* button, int click_count, double dx = 0, double dy = 0);
    void send_pending_move();
    void on_key(UINT msg, WPARAM wp, LPARAM lp);
    bool on_ime(UINT msg, WPARAM wp, LPARAM lp);
    std::optional<std::wstring> whole_character(wchar_t c);
    void set_cursor(std::string_view css);

    ChromiumEngine& engine_;
    EngineEvents& events_;
    std::unique_ptr<MirrorWindow> mirror_;
    std::string target_, session_;
    std::optional<devtools::PageTracker> tracker_;
    std::optional<std::wstring> pending_address_;  // asked for before the target was ready
    bool load_began_ = false;                      // since the last navigate
    std::optional<Image> frame_;                   // the page's last picture drawn
    devtools::LatestFrame frames_;                 // the newest picture not yet drawn
    unsigned long frames_received_ = 0;            // screencast pictures, for the settle refresh
    std::string last_screencast_;                  // the last one as it came
    unsigned long frames_drawn_ = 0;
    // The counts at the last line of the pictures' log.
    unsigned long logged_offered_ = 0, logged_drawn_ = 0, logged_dropped_ = 0;
    DWORD logged_at_ = GetTickCount();
    devtools::ClickCounter clicks_{{GetDoubleClickTime(), GetSystemMetrics(SM_CXDOUBLECLK),
                                    GetSystemMetrics(SM_CYDOUBLECLK)}};
    int buttons_ = 0;  // the protocol's bits of the buttons held: 1 left, 2 right, 4 middle
    bool move_in_flight_ = false;           // a mouse move sent and not yet answered
    std::optional<POINT> pending_move_;     // the newest move to send once it is
    wchar_t high_surrogate_ = 0;            // the first half of a character typed in two messages
    bool composing_ = false;                // the page shows text being composed
    POINT last_press_{};                    // where the input method's windows go
    HCURSOR cursor_ = LoadCursorW(nullptr, IDC_ARROW);
    struct Popup {
        std::string target, address;
        bool announced = false;  // a Page.windowOpen came after it
    };
    std::vector<Popup> popups_;  // to close
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class ChromiumEngine final : public PageEngine {
public:
    explicit ChromiumEngine(ChromiumOptions options) : options_(std::move(options)) {}
    ~ChromiumEngine() override { shut_down(); }

    bool start();
    // Why start() failed, for the host's log.
    const std::wstring& failure() const { return failure_; }
    std::unique_ptr<EngineView> create_view(const ViewSettings& settings, EngineEvents& events) override;
    void shut_down() override;
    const wchar_t* name() const override { return L"chromium"; }

    DevToolsLink& link() { return *link_; }
    bool running() const { return link_ && link_->open(); }
    // Adds a line to the engine's account of its views' pictures in the cache folder.
    void log_frames(const std::wstring& line);
    void forget(ChromiumView* view) { std::erase(views_, view); }

private:
    void on_event(const Message& event);
    bool fail(std::wstring why) {
        failure_ = std::move(why);
        return false;
    }

    ChromiumOptions options_;
    std::wstring base_;  // the cache folder
    std::wstring profile_;
    BrowserProcess browser_;
    std::unique_ptr<DevToolsLink> link_;
    std::vector<ChromiumView*> views_;  // not owned: the host owns the views
    std::wstring failure_;
};

bool ChromiumEngine::start() {
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
    delete_left_profiles(base);
    profile_ = base + L"\\" + kProfilePrefix + std::to_wstring(GetCurrentProcessId());
    delete_folder(profile_);
    if (!CreateDirectoryW(profile_.c_str(), nullptr))
        return fail(L"cannot make the profile folder " + profile_);
    bool linux_browser = is_linux_program(options_.browser);
    std::optional<std::string> unix_profile =
        linux_browser ? win::unix_path_under_wine(profile_) : std::nullopt;
    if (linux_browser && !unix_profile)
        return fail(L"no Linux path for the profile folder " + profile_);
    std::vector<std::wstring> arguments = {
        L"--headless=new",
        L"--remote-debugging-port=0",
        L"--user-data-dir=" + (unix_profile ? win::utf8_to_wide(*unix_profile) : profile_),
        L"--no-first-run",
        L"--no-default-browser-check",
        L"--disable-background-networking",
        L"--disable-component-update",
        L"--disable-sync",
        L"--disable-quic",
        L"--mute-audio",
        // Pop-ups reach the application, which decides where they open (Page.windowOpen).
        L"--disable-popup-blocking",
    };
    // As root on Linux (where a test machine runs it) the browser refuses to start sandboxed.
    if (unix_profile)
        arguments.push_back(L"--no-sandbox");
    if (!options_.user_agent.empty())
        arguments.push_back(L"--user-agent=" + options_.user_agent);
    arguments.push_back(L"about:blank");
    if (!browser_.start(options_.browser, arguments, linux_browser))
        return fail(L"cannot start " + options_.browser);

    // The browser writes its port and WebSocket path once it listens.
    std::wstring port_file = profile_ + L"\\DevToolsActivePort";
    std::optional<devtools::ActivePort> active;
    for (DWORD waited = 0; waited < kStartTimeoutMs && !active; waited += 50) {
        Sleep(50);
        if (std::optional<std::string> text = win::read_file_bytes(port_file))
            active = devtools::parse_active_port(*text);
    }
    if (!active)
        return fail(options_.browser + L" wrote no DevToolsActivePort within 15 s");
    link_ = std::make_unique<DevToolsLink>();
    if (!link_->connect(active->port, active->browser_path, 10000))
        return fail(L"no DevTools connection on port " + std::to_wstring(active->port));
    link_->on_event = [this](const Message& event) { on_event(event); };
    link_->on_closed = [this] {
        for (ChromiumView* view : std::vector<ChromiumView*>(views_))
            view->abandon(devtools::kNetAborted);
    };
    // Pop-ups the pages open appear as new targets; they are closed (the application is asked
    // about them through Page.windowOpen).
    link_->send("Target.setDiscoverTargets", Params().flag("discover", true));
    return true;
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
    }
    browser_.end();
    if (!profile_.empty()) {
        // The browser may still hold files for a moment after it closed.
        for (int i = 0; i < 10 && GetFileAttributesW(profile_.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
            delete_folder(profile_);
            if (GetFileAttributesW(profile_.c_str()) != INVALID_FILE_ATTRIBUTES)
                Sleep(100);
        }
        // Wine cannot see the dangling links a killed browser leaves as its profile lock; there the
        // shell removes what is left.
        if (GetFileAttributesW(profile_.c_str()) != INVALID_FILE_ATTRIBUTES)
            remove_with_unix_shell(profile_);
        profile_.clear();
    }
}

void ChromiumEngine::on_event(const Message& event) {
    if (event.method == "Target.targetCreated") {
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
    if (event.method == "Target.targetInfoChanged") {
        for (ChromiumView* view : views_)
            view->popup_address(string_at(event, "/targetInfo/targetId").value_or(""),
                                string_at(event, "/targetInfo/url").value_or(""));
    }
    for (ChromiumView* view : std::vector<ChromiumView*>(views_)) {
        // Titles and addresses come on the browser's session, for every target: each tracker
        // keeps its own target's.
        if (event.session_id.empty() ? event.method == "Target.targetInfoChanged" : view->session() == event.session_id)
            view->on_event(event);
    }
}

std::unique_ptr<EngineView> ChromiumEngine::create_view(const ViewSettings& settings, EngineEvents& events) {
    if (!running())
        return nullptr;
    auto view = std::make_unique<ChromiumView>(*this, events);
    if (!view->create(settings))
        return nullptr;
    views_.push_back(view.get());
    return view;
}

bool ChromiumView::create(const ViewSettings& settings) {
    WNDCLASSEXW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpszClassName = L"QuarnelHostBrowserView";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    const RECT& area = settings.area;
    if (!create_window(wc, WS_EX_NOPARENTNOTIFY, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, area.left, area.top,
                       area.right - area.left, area.bottom - area.top, settings.parent, nullptr))
        return false;
    if (child_windows_of_other_processes_are_hidden()) {
        mirror_ = std::make_unique<MirrorWindow>(hwnd(), [this](HWND target) { paint_window(target); }, false);
        if (!mirror_->create())
            mirror_.reset();
    }
    std::weak_ptr<bool> alive = alive_;
    // A window of its own: a page that shares a window is a background tab, which the browser
    // neither draws nor passes input to.
    engine_.link().send("Target.createTarget", Params().text("url", "about:blank").flag("newWindow", true), {},
                        [this, alive](const Message* created) {
                            if (alive.expired() || !created)
                                return;
                            std::string target = string_at(*created, "/targetId").value_or("");
                            engine_.link().send("Target.attachToTarget",
                                                Params().text("targetId", target).flag("flatten", true), {},
                                                [this, alive, target](const Message* attached_reply) {
                                                    if (!alive.expired() && attached_reply)
                                                        attached(target,
                                                                 string_at(*attached_reply, "/sessionId").value_or(""));
                                                });
                        });
    return true;
}

ChromiumView::~ChromiumView() {
    engine_.forget(this);
    if (!target_.empty() && engine_.running())
        engine_.link().send("Target.closeTarget", Params().text("targetId", target_));
}

void ChromiumView::command(const std::string& method, const Params& params, DevToolsLink::Reply reply) {
    engine_.link().send(method, params, session_, std::move(reply));
}

void ChromiumView::attached(std::string target, std::string session) {
    target_ = std::move(target);
    session_ = std::move(session);
    tracker_.emplace(target_, kStatusBinding, kTitleBinding);
    command("Page.enable");
    command("Page.bringToFront");
    command("Network.enable");
    command("Runtime.enable");
    command("Page.setLifecycleEventsEnabled", Params().flag("enabled", true));
    command("Runtime.addBinding", Params().text("name", kStatusBinding));
    command("Page.addScriptToEvaluateOnNewDocument", Params().text("source", devtools::status_text_script(kStatusBinding)));
    command("Runtime.addBinding", Params().text("name", kTitleBinding));
    command("Page.addScriptToEvaluateOnNewDocument", Params().text("source", devtools::title_script(kTitleBinding)));
    command("Runtime.addBinding", Params().text("name", kCursorBinding));
    command("Page.addScriptToEvaluateOnNewDocument", Params().text("source", devtools::cursor_script(kCursorBinding)));
    RECT client{};
    GetClientRect(hwnd(), &client);
    resize(client.right, client.bottom);
    start_screencast();
    if (pending_address_)
        navigate(*std::exchange(pending_address_, std::nullopt));
}

void ChromiumView::navigate(std::wstring_view address) {
    if (!tracker_) {
        pending_address_ = std::wstring(address);
        return;
    }
    load_began_ = false;
    std::weak_ptr<bool> alive = alive_;
    command("Page.navigate", Params().text("url", win::wide_to_utf8(address)),
            [this, alive, url = win::wide_to_utf8(address)](const Message* reply) {
                if (alive.expired())
                    return;
                // A navigation the browser refused outright (an address it cannot load) brings no
                // events: its load is reported here.
                std::string error = reply ? string_at(*reply, "/errorText").value_or("") : "net::ERR_FAILED";
                if (error.empty() || load_began_ || tracker_->is_loading())
                    return;
                HWND view = hwnd();
                events_.load_started(view);
                events_.load_finished(view, devtools::network_error_code(error));
                events_.loading_state_changed(view, false, false, false);
            });
}

void ChromiumView::on_event(const Message& event) {
    if (!tracker_)
        return;
    if (event.method == "Inspector.targetCrashed" || event.method == "Target.targetCrashed") {
        abandon(devtools::kNetFailed);
        return;
    }
    if (event.method == "Page.screencastFrame") {
        on_frame(event);
        return;
    }
    if (event.method == "Runtime.bindingCalled" && string_at(event, "/name") == kCursorBinding) {
        set_cursor(string_at(event, "/payload").value_or(""));
        return;
    }
    report(tracker_->on_event(event));
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

void ChromiumView::abandon(int status) {
    if (tracker_)
        report(tracker_->abandon(status));
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
                log_pictures();
                events_.load_finished(view, notice.status);
                // A page of a new site may be drawn by another renderer than the screencast
                // began with: asked again, the browser sends the new page's picture.
                start_screencast();
                SetTimer(view, kSettleTimer, kSettleDelayMs, nullptr);
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
                    popup.announced = true;
                // Unless the application takes the new window over, the page opens here.
                if (!events_.new_window(view, text, static_cast<OpenDisposition>(notice.disposition)))
                    navigate(text);
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
    command("Page.getNavigationHistory", Params(), [this, alive](const Message* reply) {
        if (!alive.expired() && reply)
            report(tracker_->on_history(*reply));
    });
}

void ChromiumView::evaluate_source(std::optional<long long> context, SourceAnswer answer) {
    Params params;
    params.text("expression", kSourceExpression).flag("returnByValue", true);
    if (context)
        params.integer("contextId", *context);
    command("Runtime.evaluate", params, [answer = std::move(answer)](const Message* reply) {
        std::optional<std::string> source = reply ? devtools::evaluated_string(*reply) : std::nullopt;
        answer(source ? std::optional<std::wstring>(win::utf8_to_wide(*source)) : std::nullopt);
    });
}

void ChromiumView::request_page_source(std::wstring_view frame, SourceAnswer answer) {
    if (!tracker_ || !engine_.running()) {
        answer(std::nullopt);
        return;
    }
    if (frame.empty()) {
        evaluate_source(std::nullopt, std::move(answer));
        return;
    }
    // A sub-frame named by its name or address: its source is read in a world of its own there.
    std::weak_ptr<bool> alive = alive_;
    command("Page.getFrameTree", Params(),
            [this, alive, wanted = win::wide_to_utf8(frame), answer = std::move(answer)](const Message* tree) mutable {
                if (alive.expired() || !tree) {
                    answer(std::nullopt);
                    return;
                }
                std::string frame_id;
                std::vector<std::string> nodes = {"/frameTree"};
                while (!nodes.empty() && frame_id.empty()) {
                    std::string node = std::move(nodes.back());
                    nodes.pop_back();
                    if (node != "/frameTree" && (string_at(*tree, node + "/frame/name") == wanted ||
                                                 string_at(*tree, node + "/frame/url") == wanted))
                        frame_id = string_at(*tree, node + "/frame/id").value_or("");
                    size_t children = size_at(*tree, node + "/childFrames").value_or(0);
                    for (size_t i = 0; i < children; ++i)
                        nodes.push_back(node + "/childFrames/" + std::to_string(i));
                }
                if (frame_id.empty()) {
                    answer(std::nullopt);
                    return;
                }
                command("Page.createIsolatedWorld", Params().text("frameId", frame_id).text("worldName", "quarnel-source"),
                        [this, alive, answer = std::move(answer)](const Message* world) mutable {
                            std::optional<long long> context =
                                world ? integer_at(*world, "/executionContextId") : std::nullopt;
                            if (alive.expired() || !context)
                                answer(std::nullopt);
                            else
                                evaluate_source(context, std::move(answer));
                        });
            });
}

void ChromiumView::resize(int width, int height) {
    if (hwnd())
        SetWindowPos(hwnd(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The page's viewport takes the view's size; the browser's next pictures come at that size.
    if (tracker_)
        command("Emulation.setDeviceMetricsOverride", Params()
                                                          .integer("width", std::max(width, 1))
                                                          .integer("height", std::max(height, 1))
                                                          .integer("deviceScaleFactor", 1)
                                                          .flag("mobile", false));
    if (tracker_)
        SetTimer(hwnd(), kSettleTimer, kSettleDelayMs, nullptr);
}

LRESULT ChromiumView::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            // Under Wine nobody sees the view's own pixels: the mirror shows them.
            if (mirror_) {
                draw_newest_frame();
                ValidateRect(hwnd(), nullptr);
            } else {
                paint_window(hwnd());
            }
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
        case WM_MBUTTONUP:
        case WM_XBUTTONDOWN:
        case WM_XBUTTONDBLCLK:
        case WM_XBUTTONUP:
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL:
            on_mouse(msg, wp, lp);
            return msg == WM_XBUTTONDOWN || msg == WM_XBUTTONUP || msg == WM_XBUTTONDBLCLK ? TRUE : 0;
        case WM_CAPTURECHANGED:
            buttons_ = 0;  // the presses ended elsewhere
            break;
        case WM_SETCURSOR:
            if (LOWORD(lp) == HTCLIENT) {
                SetCursor(cursor_);
                return TRUE;
            }
            break;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_CHAR:
            on_key(msg, wp, lp);
            return 0;
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            // Passed on, and to the window's own handling too (Alt+F4, the window menu).
            on_key(msg, wp, lp);
            break;
        case WM_IME_SETCONTEXT:
            // The page shows the text being composed; the input method shows only its candidates.
            return DefWindowProcW(hwnd(), msg, wp, lp & ~static_cast<LPARAM>(ISC_SHOWUICOMPOSITIONWINDOW));
        case WM_IME_STARTCOMPOSITION:
        case WM_IME_COMPOSITION:
        case WM_IME_ENDCOMPOSITION:
        case WM_IME_CHAR:
            if (on_ime(msg, wp, lp))
                return 0;
            break;
        case WM_TIMER:
            if (wp == kSettleTimer) {
                KillTimer(hwnd(), kSettleTimer);
                refresh_frame();
                return 0;
            }
            if (wp == kClosePopupsTimer) {
                KillTimer(hwnd(), kClosePopupsTimer);
                for (const Popup& popup : std::exchange(popups_, {})) {
                    command("Target.closeTarget", Params().text("targetId", popup.target));
                    if (!popup.announced && !popup.address.empty() && popup.address != "about:blank") {
                        std::wstring address = win::utf8_to_wide(popup.address);
                        if (!events_.new_window(hwnd(), address, OpenDisposition::kNewForegroundTab))
                            navigate(address);
                    }
                }
                return 0;
            }
            break;
        case WM_DESTROY:
            mirror_.reset();
            log_pictures();
            events_.view_closing(hwnd());
            break;
    }
    return Window::handle_message(msg, wp, lp);
}

// The browser sends a picture of the page whenever it changes (a still page sends none), at
// the viewport's size, and waits for each to be acknowledged.
void ChromiumView::start_screencast() {
    command("Page.startScreencast",
            Params().text("format", "jpeg").integer("quality", kFrameQuality).integer("everyNthFrame", 1));
}

void ChromiumView::on_frame(const Message& event) {
    std::optional<long long> ack_id = integer_at(event, "/sessionId");
    if (!ack_id)
        return;
    // Acknowledged at once, so the browser goes on sending; only the newest is ever drawn.
    command("Page.screencastFrameAck", Params().integer("sessionId", *ack_id));
    // The same picture again (the browser sends one when asked for a screenshot) changes
    // nothing: it would only cost a decoding, and another screenshot after it.
    std::string data = string_at(event, "/data").value_or("");
    if (data == last_screencast_)
        return;
    last_screencast_ = data;
    ++frames_received_;
    frames_.offer(std::move(data));
    show_frame_later();
    SetTimer(hwnd(), kSettleTimer, kSettleDelayMs, nullptr);
}

void ChromiumView::show_frame_later() {
    InvalidateRect(hwnd(), nullptr, FALSE);
    if (mirror_)
        mirror_->invalidate();
}

// A picture of the page as it stands now, unless the screencast brought a newer one meanwhile.
void ChromiumView::refresh_frame() {
    std::weak_ptr<bool> alive = alive_;
    command("Page.captureScreenshot", Params().text("format", "jpeg").integer("quality", kFrameQuality),
            [this, alive, asked_after = frames_received_](const Message* reply) {
                if (alive.expired() || !reply || frames_received_ != asked_after)
                    return;
                if (std::optional<std::string> data = string_at(*reply, "/data")) {
                    frames_.offer(std::move(*data));
                    show_frame_later();
                }
            });
}

// One line of the engine's log of pictures, at each page's load and when the view goes: what
// came and was drawn since the line before.
void ChromiumView::log_pictures() {
    DWORD now = GetTickCount();
    wchar_t line[200];
    swprintf(line, 200, L"view %lu: %lu pictures from the browser, %lu drawn, %lu dropped in %.3f s\r\n",
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwnd())), frames_.offered() - logged_offered_,
             frames_drawn_ - logged_drawn_, frames_.dropped() - logged_dropped_, (now - logged_at_) / 1000.0);
    engine_.log_frames(line);
    logged_offered_ = frames_.offered();
    logged_drawn_ = frames_drawn_;
    logged_dropped_ = frames_.dropped();
    logged_at_ = now;
}

// Decodes the newest picture, if one came since the last drawing; the one before stays shown
// when it cannot be decoded.
void ChromiumView::draw_newest_frame() {
    std::optional<std::string> newest = frames_.take();
    if (!newest)
        return;
    std::optional<std::string> jpeg = base64_decode(*newest);
    std::optional<Image> image = jpeg ? decode_jpeg(*jpeg) : std::nullopt;
    if (image) {
        frame_ = std::move(image);
        ++frames_drawn_;
    }
}

// The last picture of the page at its own size, the page's background around it (before the
// first picture, and beside an older picture while the view grows).
void ChromiumView::paint_window(HWND target) {
    draw_newest_frame();
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
    SetDIBitsToDevice(paint.get(), 0, 0, frame_->width, frame_->height, 0, 0, 0, frame_->height,
                      frame_->pixels.data(), &info, DIB_RGB_COLORS);
    RECT right = {frame_->width, 0, client.right, client.bottom};
    RECT below = {0, frame_->height, std::min<LONG>(frame_->width, client.right), client.bottom};
    if (right.left < right.right)
        FillRect(paint.get(), &right, background);
    if (below.top < below.bottom)
        FillRect(paint.get(), &below, background);
}

namespace {

// The protocol's modifier bits, and the browser view's key-state bits, of the keys held now.
int page_modifiers() {
    int bits = 0;
    if (GetKeyState(VK_MENU) < 0)
        bits |= devtools::kModifierAlt;
    if (GetKeyState(VK_CONTROL) < 0)
        bits |= devtools::kModifierControl;
    if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0)
        bits |= devtools::kModifierMeta;
    if (GetKeyState(VK_SHIFT) < 0)
        bits |= devtools::kModifierShift;
    return bits;
}

int key_state_bits() {
    int modifiers = page_modifiers();
    return (modifiers & devtools::kModifierShift ? kKeyStateShift : 0) |
           (modifiers & devtools::kModifierControl ? kKeyStateControl : 0) |
           (modifiers & devtools::kModifierAlt ? kKeyStateAlt : 0);
}

struct MouseButton {
    const char* name;
    int bit;  // in the protocol's `buttons`
};

// The button a mouse message is about, and whether it is a press.
std::optional<std::pair<MouseButton, bool>> button_of(UINT msg, WPARAM wp) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return std::pair{MouseButton{"left", 1}, true};
        case WM_LBUTTONUP:
            return std::pair{MouseButton{"left", 1}, false};
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            return std::pair{MouseButton{"right", 2}, true};
        case WM_RBUTTONUP:
            return std::pair{MouseButton{"right", 2}, false};
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            return std::pair{MouseButton{"middle", 4}, true};
        case WM_MBUTTONUP:
            return std::pair{MouseButton{"middle", 4}, false};
        case WM_XBUTTONDOWN:
        case WM_XBUTTONDBLCLK:
        case WM_XBUTTONUP: {
            MouseButton button = GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? MouseButton{"back", 8} : MouseButton{"forward", 16};
            return std::pair{button, msg != WM_XBUTTONUP};
        }
    }
    return std::nullopt;
}

// The name of a button still held, for moves while dragging.
const char* held_button(int buttons) {
    return buttons & 1 ? "left" : buttons & 2 ? "right" : buttons & 4 ? "middle" : "none";
}

}  // namespace

void ChromiumView::on_mouse(UINT msg, WPARAM wp, LPARAM lp) {
    POINT at{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    if (msg == WM_MOUSEWHEEL || msg == WM_MOUSEHWHEEL) {
        ScreenToClient(hwnd(), &at);  // the wheel's point is on the screen
        double pixels = GET_WHEEL_DELTA_WPARAM(wp) * kPixelsPerNotch / WHEEL_DELTA;
        // Turned away from the user the wheel scrolls up; tilted right it scrolls right.
        send_mouse("mouseWheel", at, "none", 0, msg == WM_MOUSEHWHEEL ? pixels : 0, msg == WM_MOUSEWHEEL ? -pixels : 0);
        return;
    }
    if (msg == WM_MOUSEMOVE) {
        pending_move_ = at;
        send_pending_move();
        return;
    }
    std::optional<std::pair<MouseButton, bool>> button = button_of(msg, wp);
    if (!button)
        return;
    auto [which, press] = *button;
    pending_move_.reset();  // the press or release carries the newer point
    if (press) {
        SetFocus(hwnd());
        if (!buttons_)
            SetCapture(hwnd());
        buttons_ |= which.bit;
        last_press_ = at;
        int count = clicks_.press(which.bit, at.x, at.y, static_cast<std::uint32_t>(GetMessageTime()));
        send_mouse("mousePressed", at, which.name, count);
    } else {
        buttons_ &= ~which.bit;
        send_mouse("mouseReleased", at, which.name, std::max(clicks_.count(), 1));
        if (!buttons_ && GetCapture() == hwnd())
            ReleaseCapture();
    }
}

void ChromiumView::send_mouse(const char* type, POINT at, const char* button, int click_count, double dx, double dy) {
    if (!tracker_)
        return;
    Params params;
    params.text("type", type)
        .integer("x", at.x)
        .integer("y", at.y)
        .integer("modifiers", page_modifiers())
        .text("button", button)
        .integer("buttons", buttons_)
        .integer("clickCount", click_count);
    if (std::string_view(type) == "mouseWheel")
        params.number("deltaX", dx).number("deltaY", dy);
    command("Input.dispatchMouseEvent", params);
}

// Moves go one at a time: while the browser has not taken one, only the newest waits, so a
// busy page never gets a backlog of old pointer positions.
void ChromiumView::send_pending_move() {
    if (move_in_flight_ || !pending_move_ || !tracker_)
        return;
    POINT at = *std::exchange(pending_move_, std::nullopt);
    move_in_flight_ = true;
    command("Input.dispatchMouseEvent",
            Params()
                .text("type", "mouseMoved")
                .integer("x", at.x)
                .integer("y", at.y)
                .integer("modifiers", page_modifiers())
                .text("button", held_button(buttons_))
                .integer("buttons", buttons_),
            [this, alive = std::weak_ptr<bool>(alive_)](const Message*) {
                if (alive.expired())
                    return;
                move_in_flight_ = false;
                send_pending_move();
            });
}

// A character typed, once it is whole: a character beyond the first 65,536 comes in two
// messages, one half each.
std::optional<std::wstring> ChromiumView::whole_character(wchar_t c) {
    if (IS_HIGH_SURROGATE(c)) {
        high_surrogate_ = c;
        return std::nullopt;
    }
    wchar_t first = std::exchange(high_surrogate_, 0);
    return first && IS_LOW_SURROGATE(c) ? std::wstring{first, c} : std::wstring(1, c);
}

// Keys as the page gets them from a desktop browser: a key down, the characters the key types,
// a key up.
void ChromiumView::on_key(UINT msg, WPARAM wp, LPARAM lp) {
    if (!tracker_)
        return;
    HWND view = hwnd();
    if (msg == WM_CHAR || msg == WM_SYSCHAR) {
        wchar_t c = static_cast<wchar_t>(wp);
        std::optional<std::wstring> text = whole_character(c);
        if (!text)
            return;
        std::string utf8 = win::wide_to_utf8(*text);
        command("Input.dispatchKeyEvent", Params()
                                              .text("type", "char")
                                              .integer("modifiers", page_modifiers())
                                              .text("text", utf8)
                                              .text("unmodifiedText", utf8)
                                              .text("key", utf8)
                                              .integer("windowsVirtualKeyCode", c)
                                              .flag("isSystemKey", msg == WM_SYSCHAR));
        events_.key_event(view, 3, key_state_bits(), c);
        return;
    }
    bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    unsigned virtual_key = static_cast<unsigned>(wp);
    std::string code(devtools::dom_code((lp >> 16) & 0xFF, (lp >> 24) & 1));
    std::string key(devtools::dom_key(virtual_key));
    if (key.empty()) {
        // A key that types text: its key is that text, which the character message right after
        // it holds (it is already queued); failing that, the key's unshifted character.
        MSG next;
        if (down && PeekMessageW(&next, view, WM_CHAR, WM_SYSDEADCHAR, PM_NOREMOVE) &&
            (next.message == WM_CHAR || next.message == WM_SYSCHAR) && !IS_HIGH_SURROGATE(static_cast<wchar_t>(next.wParam)))
            key = win::wide_to_utf8(std::wstring(1, static_cast<wchar_t>(next.wParam)));
        else if (UINT c = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_CHAR) & 0x7FFF; c >= 0x20)
            key = win::wide_to_utf8(std::wstring(1, static_cast<wchar_t>(GetKeyState(VK_SHIFT) < 0 ? c : towlower(c))));
        else
            key = "Unidentified";
    }
    command("Input.dispatchKeyEvent", Params()
                                          .text("type", down ? "rawKeyDown" : "keyUp")
                                          .integer("modifiers", page_modifiers())
                                          .integer("windowsVirtualKeyCode", virtual_key)
                                          .integer("nativeVirtualKeyCode", virtual_key)
                                          .text("code", code)
                                          .text("key", key)
                                          .flag("autoRepeat", down && ((lp >> 30) & 1))
                                          .flag("isKeypad", code.starts_with("Numpad"))
                                          .flag("isSystemKey", msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP));
    events_.key_event(view, down ? 0 : 2, key_state_bits(), static_cast<int>(virtual_key));
}

// Text from an input method: the text being composed is shown in the page, underlined, and the
// committed text goes in as typed text. True when the message was taken.
bool ChromiumView::on_ime(UINT msg, WPARAM wp, LPARAM lp) {
    if (!tracker_)
        return false;
    HWND view = hwnd();
    switch (msg) {
        case WM_IME_STARTCOMPOSITION:
            // Its candidates go under the place the user last pressed (in the text box, as a rule).
            if (HIMC context = ImmGetContext(view)) {
                CANDIDATEFORM candidates{0, CFS_CANDIDATEPOS, {last_press_.x, last_press_.y + 20}, {}};
                ImmSetCandidateWindow(context, &candidates);
                COMPOSITIONFORM composition{CFS_POINT, last_press_, {}};
                ImmSetCompositionWindow(context, &composition);
                ImmReleaseContext(view, context);
            }
            return true;
        case WM_IME_COMPOSITION: {
            HIMC context = ImmGetContext(view);
            if (!context)
                return false;
            auto read = [context](DWORD kind) {
                LONG bytes = ImmGetCompositionStringW(context, kind, nullptr, 0);
                std::wstring text(bytes > 0 ? static_cast<size_t>(bytes) / sizeof(wchar_t) : 0, L'\0');
                if (!text.empty())
                    ImmGetCompositionStringW(context, kind, text.data(), static_cast<DWORD>(bytes));
                return text;
            };
            if (lp & GCS_RESULTSTR) {
                std::wstring result = read(GCS_RESULTSTR);
                if (!result.empty())
                    command("Input.insertText", Params().text("text", win::wide_to_utf8(result)));
                composing_ = false;
            }
            if (lp & GCS_COMPSTR) {
                std::wstring text = read(GCS_COMPSTR);
                LONG cursor = lp & GCS_CURSORPOS ? ImmGetCompositionStringW(context, GCS_CURSORPOS, nullptr, 0)
                                                 : static_cast<LONG>(text.size());
                cursor = std::clamp<LONG>(cursor, 0, static_cast<LONG>(text.size()));
                if (!text.empty() || composing_)
                    command("Input.imeSetComposition", Params()
                                                           .text("text", win::wide_to_utf8(text))
                                                           .integer("selectionStart", cursor)
                                                           .integer("selectionEnd", cursor));
                composing_ = !text.empty();
            }
            ImmReleaseContext(view, context);
            return true;
        }
        case WM_IME_ENDCOMPOSITION:
            // Ended without committing (the user pressed Escape): the page drops what it showed.
            if (composing_)
                command("Input.imeSetComposition",
                        Params().text("text", "").integer("selectionStart", 0).integer("selectionEnd", 0));
            composing_ = false;
            return false;
        case WM_IME_CHAR: {
            // An input method that hands its text over a character at a time.
            if (std::optional<std::wstring> text = whole_character(static_cast<wchar_t>(wp)))
                command("Input.insertText", Params().text("text", win::wide_to_utf8(*text)));
            return true;
        }
    }
    return false;
}

void ChromiumView::set_cursor(std::string_view css) {
    using devtools::CursorShape;
    const wchar_t* shape = IDC_ARROW;
    switch (devtools::cursor_shape(css)) {
        case CursorShape::kArrow: shape = IDC_ARROW; break;
        case CursorShape::kHand: shape = IDC_HAND; break;
        case CursorShape::kIBeam: shape = IDC_IBEAM; break;
        case CursorShape::kWait: shape = IDC_WAIT; break;
        case CursorShape::kProgress: shape = IDC_APPSTARTING; break;
        case CursorShape::kCross: shape = IDC_CROSS; break;
        case CursorShape::kMove: shape = IDC_SIZEALL; break;
        case CursorShape::kSizeWE: shape = IDC_SIZEWE; break;
        case CursorShape::kSizeNS: shape = IDC_SIZENS; break;
        case CursorShape::kSizeNESW: shape = IDC_SIZENESW; break;
        case CursorShape::kSizeNWSE: shape = IDC_SIZENWSE; break;
        case CursorShape::kNotAllowed: shape = IDC_NO; break;
        case CursorShape::kHelp: shape = IDC_HELP; break;
        case CursorShape::kNone: shape = nullptr; break;
    }
    cursor_ = shape ? LoadCursorW(nullptr, shape) : nullptr;
    POINT pointer{};
    GetCursorPos(&pointer);
    if (WindowFromPoint(pointer) == hwnd())
        SetCursor(cursor_);
}

}  // namespace

std::unique_ptr<PageEngine> start_chromium_engine(const ChromiumOptions& options, std::wstring* failure) {
    auto engine = std::make_unique<ChromiumEngine>(options);
    if (!engine->start()) {
        if (failure)
            *failure = engine->failure();
        return nullptr;  // the engine's end stops the browser it may have started
    }
    return engine;
}

}  // namespace quarnel::host
