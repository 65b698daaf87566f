// The browser host on the Windows path: it finds a browser where Windows installs Edge or Chrome
// and starts it as a Windows program, with Windows paths on its command line. The browser is the
// stand-in (tests/win/browser_stand_in), which records its command line and runs Debian's
// chromium in its place.

#include "tests/win/chromium_host_fixture.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quarnel {
namespace {

using namespace test;  // the host tests' fixtures, server, pages and pump

class WindowsBrowserPathTest : public ChromiumHostTest {
protected:
    // The last command line the copy at `browser` was started with, split as Windows splits it.
    std::vector<std::wstring> last_arguments(const wchar_t* browser) const {
        std::vector<std::wstring> launches = stand_in_launches(browser);
        std::vector<std::wstring> arguments;
        int count = 0;
        LPWSTR* argv = launches.empty() ? nullptr : CommandLineToArgvW(launches.back().c_str(), &count);
        if (argv)
            arguments.assign(argv, argv + count);
        LocalFree(argv);
        return arguments;
    }

    std::string engine_log() const { return win::read_file_bytes(cache_.path() + L"\\host-engine.log").value_or(""); }
};

struct Discovery {
    const char* name;
    std::vector<const wchar_t*> installed;
    const wchar_t* taken;
};

class BrowserDiscoveryTest : public WindowsBrowserPathTest, public ::testing::WithParamInterface<Discovery> {};

// Edge before Chrome, as Windows installs each: the one taken is started (at its first start
// twice: again with the user agent it was found to have), the other not.
TEST_P(BrowserDiscoveryTest, EdgeIsTakenBeforeChrome) {
    const Discovery& row = GetParam();
    ASSERT_TRUE(install_windows_browsers(row.installed));
    ASSERT_NE(open("/utf8"), 0);
    ASSERT_TRUE(wait_for("finished"));
    std::string log;
    EXPECT_TRUE(pump_until([&] { return (log = engine_log()).find("engine: ") != std::string::npos; }));
    EXPECT_NE(log.find("engine: " + win::wide_to_utf8(installed(row.taken)) + "\r\n"), std::string::npos) << log;
    for (const wchar_t* browser : row.installed)
        EXPECT_EQ(stand_in_launches(browser).empty(), browser != row.taken) << win::wide_to_utf8(browser);
}

INSTANTIATE_TEST_SUITE_P(Installed,
                         BrowserDiscoveryTest,
                         ::testing::Values(Discovery{"EdgeAndChrome", {kEdge, kChrome}, kEdge},
                                           Discovery{"ChromeOnly", {kChrome}, kChrome}),
                         [](const auto& row) { return std::string(row.param.name); });

// What must hold of a Windows browser's command line: it splits back into switches and the page
// to start with; the profile is a Windows path inside the cache folder, where the browser writes
// the DevTools port the host reads; the host does not turn the sandbox off. The page it serves
// reaches the view with its status, title and source.
TEST_F(WindowsBrowserPathTest, TheBrowserGetsAWindowsCommandLineAndItsPagesReachTheView) {
    ASSERT_TRUE(install_windows_browsers({kEdge}));
    int view = open("/utf8");
    ASSERT_NE(view, 0);
    std::optional<Event> finished = wait_for("finished");
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->status, 200);

    std::vector<std::wstring> arguments = last_arguments(kEdge);
    ASSERT_GE(arguments.size(), 3u);
    std::wstring profile;
    for (size_t i = 1; i + 1 < arguments.size(); ++i) {
        EXPECT_TRUE(arguments[i].starts_with(L"--")) << win::wide_to_utf8(arguments[i]);
        if (arguments[i].starts_with(L"--user-data-dir="))
            profile = arguments[i].substr(wcslen(L"--user-data-dir="));
    }
    EXPECT_FALSE(arguments.back().starts_with(L"-")) << win::wide_to_utf8(arguments.back());
    EXPECT_NE(std::find(arguments.begin(), arguments.end(), L"--remote-debugging-port=0"), arguments.end());
    EXPECT_EQ(std::find(arguments.begin(), arguments.end(), L"--no-sandbox"), arguments.end());
    const std::wstring& cache = cache_.path();
    EXPECT_TRUE(profile.size() > cache.size() && _wcsnicmp(profile.c_str(), cache.c_str(), cache.size()) == 0 &&
                profile[cache.size()] == L'\\')
        << win::wide_to_utf8(profile);
    std::string port = win::read_file_bytes(profile + L"\\DevToolsActivePort").value_or("");
    EXPECT_GT(atoi(port.c_str()), 0) << port;

    EXPECT_TRUE(pump_until([&] {
        std::lock_guard lock(mutex_);
        return std::any_of(events_.begin(), events_.end(),
                           [](const Event& e) { return e.kind == "title" && e.text == L"中文标题"; });
    }));
    EXPECT_EQ(view_->get_page_source(view, "", false), page(kGbkTitle, kGbkBody));
}

enum class HostEnd { kViewDestroyed, kKilled };

class BrowserEndTest : public WindowsBrowserPathTest, public ::testing::WithParamInterface<HostEnd> {};

// The host's job ends the stand-in with the host, however the host ends, and chromium goes with
// the stand-in.
TEST_P(BrowserEndTest, TheBrowserIsGoneWithinFiveSecondsOfTheHost) {
    ASSERT_TRUE(install_windows_browsers({kEdge}));
    ASSERT_NE(open("/utf8"), 0);
    ASSERT_TRUE(wait_for("finished"));
    ASSERT_TRUE(stand_in_runs());
    ASSERT_TRUE(browser_runs());
    DWORD host_id = 0;
    GetWindowThreadProcessId(view_->host_window(), &host_id);
    win::UniqueKernelHandle host(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, host_id));
    ASSERT_TRUE(host);
    if (GetParam() == HostEnd::kKilled) {
        TerminateProcess(host.get(), 1);  // as a crash would: its job goes with its last handle
    } else {
        DestroyWindow(parent_);
        parent_ = nullptr;
    }
    ASSERT_TRUE(pump_until_ended(std::span(&host, 1)));
    DWORD host_ended = GetTickCount();
    EXPECT_TRUE(pump_until([&] { return !stand_in_runs() && !browser_runs(); }, 5000));
    std::printf("[ figures  ] stand-in and browser gone %lu ms after the host ended\n", GetTickCount() - host_ended);
}

INSTANTIATE_TEST_SUITE_P(Ends,
                         BrowserEndTest,
                         ::testing::Values(HostEnd::kViewDestroyed, HostEnd::kKilled),
                         [](const auto& row) {
                             return std::string(row.param == HostEnd::kKilled ? "HostKilled" : "ViewDestroyed");
                         });

}  // namespace
}  // namespace quarnel
