#pragma once

// The fixtures of the browser host's end-to-end tests: the real browser view control starts the
// real browser host program, which loads pages from a local HTTP server. The events arrive on
// the test thread, which pumps its messages while it waits for them. ChromiumHostTest runs the
// host with the browser engine, on the Linux path (Debian's chromium, which the host finds under
// Wine) or on the Windows path (a browser where Windows installs it: the browser stand-in,
// tests/win/browser_stand_in).

#include "browserview/browser_view.h"
#include "devtools/devtools_endpoints.h"
#include "host/chromium/devtools_link.h"
#include "tests/win/host_test_support.h"
#include "winbase/files.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace quarnel::test {

inline std::string host_folder() {
    std::wstring path = test::host_program_path();
    return std::string(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(path.rfind(L'\\')));
}

struct Event {
    std::string kind;
    int view = 0;
    int status = 0;
    std::wstring text;
    double at_ms = 0;  // when it came, on the system clock (milliseconds since 1970)
};

inline double now_ms() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    return (ticks.QuadPart - 116444736000000000ULL) / 10000.0;
}

// The pages, with the Chinese title and body of the shared test pages; the control hands
// sources back in GBK, the code page of the test.
inline std::string page(const std::string& title, const std::string& body) {
    return "<html><head><title>" + title + "</title></head><body><p>" + body + "</p></body></html>";
}

// A page of some 1.5 MB, longer than one message between the processes carries, with Chinese
// text across the places it is cut at.
inline const std::string& long_page() {
    static const std::string text = [] {
        std::string t = page(kGbkTitle, kGbkBody);
        for (int i = 0; t.size() < 1500000; ++i)
            t.append(i % 7 == 0 ? kGbkBody : "<p>line " + std::to_string(i) + "</p>\n");
        return t;
    }();
    return text;
}

class HostBrowserViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        server_.route("/utf8", HttpResponse{200, "text/html; charset=utf-8", "", page(kUtf8Title, kUtf8Body)});
        server_.route("/gbk", HttpResponse{200, "text/html; charset=gbk", "", page(kGbkTitle, kGbkBody)});
        server_.route("/no-charset", HttpResponse{200, "text/html", "", page(kGbkTitle, kGbkBody)});
        server_.route("/links", HttpResponse{200, "text/html", "", "<a href=\"/second\">GO TO THE SECOND PAGE</a>"});
        server_.route("/second", HttpResponse{200, "text/html", "", "<title>Second</title><p>second</p>"});
        server_.route("/long", HttpResponse{200, "text/html; charset=gbk", "", long_page()});
        ASSERT_TRUE(server_.start());
        make_view();
    }

    // The parent window and the browser view in it, as at the program's start.
    void make_view() {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent_);
        BrowserView::CreateArgs args;
        args.parent = parent_;
        args.width = 780;
        args.height = 560;
        view_ = BrowserView::create(args);
        ASSERT_TRUE(view_);
        BrowserViewEvents events;
        events.view_created = [this](int view) { record({"created", view, 0, {}}); };
        events.load_started = [this](int view, std::wstring_view) { record({"started", view, 0, {}}); };
        events.load_finished = [this](int view, std::wstring_view, int status) {
            record({"finished", view, status, {}});
        };
        events.title_changed = [this](int view, std::wstring_view text) {
            record({"title", view, 0, std::wstring(text)});
        };
        events.address_changed = [this](int view, std::wstring_view text) {
            record({"address", view, 0, std::wstring(text)});
        };
        events.console_message = [this](int view, std::wstring_view text) {
            record({"console", view, 0, std::wstring(text)});
        };
        view_->set_events(events);
    }

    void TearDown() override { end_view(); }

    // Closes the view's window, as the program's end does; the host ends soon after.
    void end_view() {
        if (!parent_ || !IsWindow(parent_))
            return;
        win::UniqueKernelHandle host = test::process_of_window(view_->host_window());
        DestroyWindow(parent_);
        EXPECT_TRUE(test::pump_until_ended(std::span(&host, 1)));
    }

    void record(Event event) {
        event.at_ms = now_ms();
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }

    // The first event of `kind` after those already returned.
    std::optional<Event> wait_for(const std::string& kind) {
        std::optional<Event> found;
        pump_until([&] {
            std::lock_guard lock(mutex_);
            for (size_t i = next_; i < events_.size(); ++i) {
                if (events_[i].kind == kind) {
                    next_ = i + 1;
                    found = events_[i];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    // Drops the events recorded so far: a long pass would otherwise keep every one.
    void forget_events() {
        std::lock_guard lock(mutex_);
        events_.clear();
        next_ = 0;
    }

    std::vector<std::string> kinds() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const Event& e : events_)
            out.push_back(e.kind);
        return out;
    }

    // Starts the engine and opens `path`; the new view's id.
    int open(const std::string& path) {
        if (!view_->start_engine(host_folder(), ""))
            return 0;
        EXPECT_EQ(view_->engine_ready(), 1);
        if (!view_->create_child_view(server_.url(path)))
            return 0;
        std::optional<Event> created = wait_for("created");
        return created ? created->view : 0;
    }

    int load(int view, const std::string& path) {
        {
            std::lock_guard lock(mutex_);
            next_ = events_.size();
        }
        view_->navigate(view, server_.url(path));
        // The load of the page before may end (as dropped) after the navigation was asked for:
        // the one asked for is the load that starts after it.
        wait_for("started");
        std::optional<Event> finished = wait_for("finished");
        return finished ? finished->status : 0;
    }

    TestHttpServer server_;
    HWND parent_ = nullptr;
    BrowserView* view_ = nullptr;  // not owned: it lives with its window
    std::mutex mutex_;
    std::vector<Event> events_;
    size_t next_ = 0;
};

// Where Windows installs the browsers the host looks for, under a program-files folder.
constexpr wchar_t kEdge[] = L"Microsoft\\Edge\\Application\\msedge.exe";
constexpr wchar_t kChrome[] = L"Google\\Chrome\\Application\\chrome.exe";

// The same control and host with the browser engine: Debian's chromium under Wine, driven over
// the DevTools protocol, with its profile in a folder of this test's own. On the Windows path
// (install_windows_browsers) the host finds copies of the browser stand-in where Windows installs
// Edge and Chrome and starts one as a Windows program; the stand-in runs chromium for it.
class ChromiumHostTest : public HostBrowserViewTest {
protected:
    void SetUp() override {
        if (GetFileAttributesW(L"Z:\\usr\\bin\\chromium") == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "no chromium";
        SetEnvironmentVariableW(L"QUARNEL_HOST_ENGINE", L"chromium");
        server_.route("/scripted",
                      HttpResponse{200, "text/html; charset=utf-8", "",
                                   "<title>Before</title><script>addEventListener('load', () => "
                                   "setTimeout(() => { document.title = '脚本标题'; }, 0));"
                                   "setTimeout(() => { document.title = '后来的标题'; }, 1500);</script>"});
        server_.route("/popup", HttpResponse{200, "text/html", "",
                                             "<title>Opener</title><a href=\"/second\" target=\"_blank\">OPEN</a>"});
        server_.route("/busy", HttpResponse{200, "text/html", "",
                                            "<title>Busy</title><script>addEventListener('load', () => "
                                            "setTimeout(() => { for (;;) {} }, 0));</script>"});
        HostBrowserViewTest::SetUp();
        view_->set_cache(win::wide_to_ansi(cache_.path()));
    }
    void TearDown() override {
        HostBrowserViewTest::TearDown();
        // What the engine did, and what the view was told, say most about a test that failed.
        if (HasFailure()) {
            std::printf("host-engine.log:\n%s\nevents since the last forgotten:\n",
                        win::read_file_bytes(cache_.path() + L"\\host-engine.log").value_or("(none)").c_str());
            std::lock_guard lock(mutex_);
            for (const Event& e : events_)
                std::printf("  %s %d %s\n", e.kind.c_str(), e.status, win::wide_to_utf8(e.text).c_str());
        }
        SetEnvironmentVariableW(L"QUARNEL_HOST_ENGINE", L"builtin");
        for (const auto& [name, value] : saved_environment_)
            SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
        // A stand-in still running would keep its copy from being removed with its folder, and
        // a chromium still ending would write into the profile as the cache folder goes.
        if (IsSkipped())
            return;
        pump_until([&] { return (!program_files_ || !stand_in_runs()) && !browser_runs(); }, 5000);
        // The lasting profile holds links that Wine's file functions cannot remove (chromium's
        // lock among them).
        run_unix("rm -rf -- '" + win::wide_to_utf8(unix_path(cache_.path())) + "'/*");
    }

    // Puts copies of the browser stand-in at `browsers` (kEdge, kChrome) in a program-files folder
    // of this test's own, and names that folder as every place Windows installs programs in the
    // environment, which the host inherits (restored in TearDown). Before the host starts.
    bool install_windows_browsers(const std::vector<const wchar_t*>& browsers) {
        program_files_.emplace();
        for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)", L"LOCALAPPDATA"}) {
            wchar_t value[MAX_PATH];
            DWORD size = GetEnvironmentVariableW(name, value, MAX_PATH);
            saved_environment_.emplace_back(
                name, size && size < MAX_PATH ? std::optional<std::wstring>(value) : std::nullopt);
            SetEnvironmentVariableW(name, program_files_->path().c_str());
        }
        for (const wchar_t* browser : browsers) {
            std::wstring path = installed(browser);
            for (size_t at = path.find(L'\\', program_files_->path().size() + 1); at != std::wstring::npos;
                 at = path.find(L'\\', at + 1))
                CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
            if (!CopyFileW(wine_path(QUARNEL_BROWSER_STAND_IN_EXE).c_str(), path.c_str(), FALSE))
                return false;
        }
        return true;
    }
    // The path of the copy of the stand-in at `browser`.
    std::wstring installed(const wchar_t* browser) const { return program_files_->path() + L"\\" + browser; }
    // The command lines the copy at `browser` was started with, one a launch.
    std::vector<std::wstring> stand_in_launches(const wchar_t* browser) const {
        std::wstring log = installed(browser);
        log.replace(log.rfind(L'\\') + 1, std::wstring::npos, L"stand-in-command-lines.log");
        std::wstring text = win::utf8_to_wide(win::read_file_bytes(log).value_or(""));
        std::vector<std::wstring> lines;
        for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }
    // Whether a copy of the stand-in in this test's program-files folder still runs.
    bool stand_in_runs() const {
        DWORD ids[4096];
        DWORD bytes = 0;
        if (!EnumProcesses(ids, sizeof(ids), &bytes))
            return false;
        const std::wstring& folder = program_files_->path();
        for (DWORD id : std::span(ids, bytes / sizeof(DWORD))) {
            win::UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
            wchar_t name[MAX_PATH];
            DWORD size = MAX_PATH;
            if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT &&
                QueryFullProcessImageNameW(process.get(), 0, name, &size) &&
                _wcsnicmp(name, folder.c_str(), folder.size()) == 0)
                return true;
        }
        return false;
    }

    // Runs a shell command line on the Linux side and waits for it to end; its exit status.
    int run_unix(const std::string& command) {
        std::wstring marker = cache_.path() + L"\\unix-done";
        DeleteFileW(marker.c_str());
        std::wstring script = win::utf8_to_wide(command) + L"; echo $? > \"$0\"";
        std::wstring line = L"sh -c \"";
        for (wchar_t c : script)
            line += c == L'"' ? std::wstring(L"\\\"") : std::wstring(1, c);
        line += L"\" \"" + unix_path(marker) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &process))
            return -1;
        // Wine's handles for a Linux program name nothing of it (the thread's is another object's
        // number): they are not closed.
        std::optional<std::string> status;
        pump_until([&] {
            status = win::read_file_bytes(marker);
            return status && status->find('\n') != std::string::npos;
        });
        return status ? atoi(status->c_str()) : -1;
    }
    static std::wstring unix_path(const std::wstring& path) {
        return win::utf8_to_wide(win::unix_path_under_wine(path).value_or(""));
    }
    // The pattern of this test's browser processes for pgrep and pkill; "[-]" keeps it from
    // matching the shell that runs them, whose command line holds the pattern itself.
    std::string browser_pattern() { return "[-]-user-data-dir=" + win::wide_to_utf8(unix_path(cache_.path())); }
    // Whether a browser with this test's profile folder still runs.
    bool browser_runs() { return run_unix("pgrep -f -- '" + browser_pattern() + "'") == 0; }
    // Kills the browser's processes as a crash would (the shell that watches it stays); 0 when it
    // killed some. `launch` (1, 2, ... in turn): only a browser started after the one killed last.
    // Launches share their profile folder, so they are told apart by the browser's main process,
    // the one that is none of its helpers (--type=).
    int kill_browser(int launch = 0) {
        std::string processes = "'^[^ ]*/chromium .*" + browser_pattern() + "'";
        if (!launch)
            return run_unix("pkill -9 -f -- " + processes);
        std::wstring killed_file = cache_.path() + L"\\killed-browser";
        int status = run_unix("for p in $(pgrep -f -- " + processes +
                              "); do grep -qa -- --type= /proc/$p/cmdline 2>/dev/null; [ $? = 1 ] && main=$p; done; "
                              "[ -n \"$main\" ] && [ \"$main\" != '" +
                              killed_browser_ + "' ] && pkill -9 -f -- " + processes + " && echo $main > '" +
                              win::wide_to_utf8(unix_path(killed_file)) + "'");
        if (status == 0)
            killed_browser_ = std::to_string(atoi(win::read_file_bytes(killed_file).value_or("").c_str()));
        return status;
    }
    // Ends the renderer of the host's page whose address holds `address_part`, as a crash would
    // (Page.crash on a DevTools connection of the test's own). Whether it was asked.
    bool crash_renderer(const std::string& address_part) {
        std::optional<std::string> file = win::read_file_bytes(cache_.path() + L"\\Browser\\DevToolsActivePort");
        std::optional<devtools::ActivePort> port = file ? devtools::parse_active_port(*file) : std::nullopt;
        host::DevToolsLink link([] { return static_cast<std::uint32_t>(GetTickCount()); });
        if (!port || !link.connect(port->port, port->browser_path, 5000))
            return false;
        bool done = false, asked = false;
        link.send("Target.getTargets", {}, {}, [&](const devtools::Message* targets) {
            std::string target;
            for (size_t i = 0; targets && i < devtools::size_at(*targets, "/targetInfos").value_or(0); ++i) {
                std::string at = "/targetInfos/" + std::to_string(i);
                if (devtools::string_at(*targets, at + "/type") == "page" &&
                    devtools::string_at(*targets, at + "/url").value_or("").find(address_part) != std::string::npos)
                    target = devtools::string_at(*targets, at + "/targetId").value_or("");
            }
            if (target.empty()) {
                done = true;
                return;
            }
            link.send("Target.attachToTarget", devtools::Params().text("targetId", target).flag("flatten", true), {},
                      [&](const devtools::Message* attached) {
                          std::string session =
                              attached ? devtools::string_at(*attached, "/sessionId").value_or("") : "";
                          asked = !session.empty();
                          if (asked)
                              link.send("Page.crash", {}, session);
                          done = true;
                      });
        });
        pump_until([&] { return done; }, 5000);
        return asked;
    }

    // The memory (PSS, MB) of the processes whose command lines match `pattern`, summed.
    double pss_mb(const std::string& pattern) { return memory_mb(pattern, "Pss"); }
    // Their private written memory (MB): what they wrote and no other process shares, so unlike
    // PSS it does not move when other browsers on the machine start or end. (Their clean private
    // pages do: the browser's program files, shared while another browser maps them too.)
    double private_mb(const std::string& pattern) { return memory_mb(pattern, "Private_Dirty"); }
    // The sum of the `fields` (a pattern of smaps field names) of those processes, in MB.
    double memory_mb(const std::string& pattern, const std::string& fields) {
        std::wstring pss_file = cache_.path() + L"\\pss.txt";
        run_unix("for p in $(pgrep -f -- '" + pattern + "'); do grep -E '^" + fields +
                 ":' /proc/$p/smaps_rollup; done | "
                 "awk '{s += $2} END {print s + 0}' > '" +
                 win::wide_to_utf8(unix_path(pss_file)) + "'");
        return atof(win::read_file_bytes(pss_file).value_or("0").c_str()) / 1024;
    }
    // The same, split by kind of process (the browser's main process, its renderers, its GPU
    // process, each kind of utility process), as "kind*count MB" one after the other. A helper
    // process's command line may be one string with spaces, not one argument after another.
    std::string pss_by_kind(const std::string& pattern) {
        std::wstring kinds_file = cache_.path() + L"\\pss-kinds.txt";
        run_unix("for p in $(pgrep -f -- '" + pattern +
                 "'); do k=$(tr '\\0 ' '\\n\\n' </proc/$p/cmdline | sed -n "
                 "'s/^--type=//p;s/^--utility-sub-type=.*[.]/:/p' | "
                 "tr -d '\\n'); echo \"${k:-main} $(awk '/^Pss:/ {print $2}' /proc/$p/smaps_rollup)\"; done | "
                 "awk '{n[$1]++; s[$1] += $2} END {for (k in s) printf \"%s*%d %.1f  \", k, n[k], s[k] / 1024}' > '" +
                 win::wide_to_utf8(unix_path(kinds_file)) + "'");
        return win::read_file_bytes(kinds_file).value_or("");
    }
    // The host's processes: found by the cache folder on its command line.
    std::string host_pattern() {
        return "[O]pen-Ver.*" + win::wide_to_utf8(cache_.path().substr(cache_.path().rfind(L'\\') + 1));
    }

    test::TempFolder cache_;
    std::string killed_browser_;                     // the main process of the browser kill_browser killed last
    std::optional<test::TempFolder> program_files_;  // on the Windows path
    std::vector<std::pair<const wchar_t*, std::optional<std::wstring>>> saved_environment_;
};

}  // namespace quarnel::test
