// What a page sees of its visitor with the browser engine, on both paths the host takes (Debian's
// chromium as a Linux program, and a browser where Windows installs it): a person's browser, with
// its own identity or the one the user gave, the user's language and screen, no marks of
// automation, and a profile that keeps what sites stored from one start of the host to the next.

#include "tests/win/chromium_host_fixture.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace quarnel {
namespace {

using namespace test;
using nlohmann::json;

// The page reports what it sees into its title, as JSON.
constexpr char kSeesPage[] = R"(<title>looking</title><script>
(async () => {
  const seen = {
    webdriver: navigator.webdriver, ua: navigator.userAgent, appVersion: navigator.appVersion,
    platform: navigator.platform, languages: navigator.languages.join(','),
    screen: [screen.width, screen.height, devicePixelRatio],
    names: Object.getOwnPropertyNames(window).filter(n => /quarnel/i.test(n)).join(','),
    cursor: typeof window.cursor, status: typeof window.status,
  };
  const hints = navigator.userAgentData &&
                await navigator.userAgentData.getHighEntropyValues(['platform', 'fullVersionList']);
  seen.brands = hints ? hints.brands.map(b => b.brand + ' ' + b.version).join(';') : '';
  seen.hint_platform = hints ? hints.platform : '';
  seen.worker = await new Promise(done => {
    const worker = new Worker(URL.createObjectURL(new Blob(['postMessage(navigator.userAgent)'])));
    worker.onmessage = (e) => done(e.data);
  });
  const registration = await navigator.serviceWorker.register('/worker.js');
  const active = registration.active || await new Promise(done => {
    const installing = registration.installing || registration.waiting;
    installing.addEventListener('statechange', () => { if (installing.state === 'activated') done(installing); });
  });
  seen.service_worker = await new Promise(done => {
    const channel = new MessageChannel();
    channel.port1.onmessage = (e) => done(e.data);
    active.postMessage('', [channel.port2]);
  });
  const { load } = await import('/botd.esm.js');
  const detector = await load({ monitoring: false });
  const verdict = detector.detect();
  seen.bot = verdict.bot ? verdict.botKind : 'human';
  // Read once the page has loaded, as detectors read it.
  seen.window = [innerWidth, innerHeight, outerWidth, outerHeight];
  seen.detections = Object.entries(detector.getDetections()).filter(([, d]) => d.bot).map(([n]) => n).join(',');
  document.title = JSON.stringify(seen);
})();
</script>)";

constexpr char kStorePage[] = R"(<title>storing</title><script>
document.cookie = 'visit=kept; max-age=86400; path=/';
localStorage.setItem('visit', 'kept');
document.title = 'stored';
</script>)";
constexpr char kReadPage[] = R"(<title>reading</title><script>
document.title = 'cookie ' + document.cookie + ', storage ' + localStorage.getItem('visit');
</script>)";

std::string botd_script() {
    return win::read_file_bytes(wine_path(QUARNEL_TEST_TOOLS_DIR "/node_modules/@fingerprintjs/botd/dist/botd.esm.js"))
        .value_or("");
}

enum class Path { kLinux, kWindows };

class PageIdentityTest : public ChromiumHostTest {
protected:
    void SetUp() override {
        ChromiumHostTest::SetUp();
        if (IsSkipped())
            return;
        server_.route("/sees", [this](const HttpRequest& request) {
            std::lock_guard lock(mutex_);
            auto language = request.headers.find("accept-language");
            accept_language_ = language != request.headers.end() ? language->second : "";
            auto agent = request.headers.find("user-agent");
            header_agent_ = agent != request.headers.end() ? agent->second : "";
            return HttpResponse{200, "text/html; charset=utf-8", "", kSeesPage};
        });
        server_.route("/botd.esm.js", HttpResponse{200, "text/javascript", "", botd_script()});
        server_.route("/worker.js", HttpResponse{200, "text/javascript", "",
                                                 "onmessage = (e) => e.ports[0].postMessage(navigator.userAgent);"});
        server_.route("/store", HttpResponse{200, "text/html", "", kStorePage});
        server_.route("/read", HttpResponse{200, "text/html", "", kReadPage});
    }

    void take(Path path) {
        if (path == Path::kWindows) {
            ASSERT_TRUE(install_windows_browsers({kEdge}));
        }
    }

    // The first title the page set that begins with `prefix`.
    std::wstring title_beginning(const std::wstring& prefix) {
        std::wstring found;
        pump_until(
            [&] {
                std::lock_guard lock(mutex_);
                for (const Event& e : events_) {
                    if (e.kind == "title" && e.text.starts_with(prefix))
                        found = e.text;
                }
                return !found.empty();
            },
            20000);
        return found;
    }

    std::string accept_language_, header_agent_;
};

struct IdentityCase {
    const char* name;
    Path path;
    const char* user_agent;  // given to the browser view; "" for the browser's own
};

class PageSeesTest : public PageIdentityTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(PageSeesTest, APersonsBrowserInTheUsersLanguageAndScreen) {
    const IdentityCase& c = GetParam();
    ASSERT_FALSE(botd_script().empty()) << "BotD is missing: scripts/setup-machine.sh installs it";
    take(c.path);
    view_->set_user_agent(c.user_agent);
    ASSERT_NE(open("/sees"), 0);
    std::wstring title = title_beginning(L"{");
    ASSERT_FALSE(title.empty());
    json seen = json::parse(win::wide_to_utf8(title));
    std::string ua = seen["ua"].get<std::string>();
    SCOPED_TRACE(seen.dump(1));

    EXPECT_EQ(seen["bot"], "human");
    EXPECT_EQ(seen["webdriver"], false);
    EXPECT_EQ(ua.find("Headless"), std::string::npos);
    EXPECT_EQ(seen["appVersion"].get<std::string>().find("Headless"), std::string::npos);
    EXPECT_EQ(seen["brands"].get<std::string>().find("Headless"), std::string::npos);
    // One identity everywhere: the header, the page, its workers, the client hints.
    EXPECT_EQ(header_agent_, ua);
    EXPECT_EQ(seen["worker"], ua);
    EXPECT_EQ(seen["service_worker"], ua);
    if (*c.user_agent) {
        EXPECT_EQ(ua, c.user_agent);
        EXPECT_EQ(seen["platform"], "Win32");
        EXPECT_EQ(seen["hint_platform"], "Windows");
        EXPECT_NE(seen["brands"].get<std::string>().find("Google Chrome 124"), std::string::npos);
    } else {
        // Debian's chromium, whichever way it was started, is Chromium on Linux.
        EXPECT_NE(ua.find("Linux"), std::string::npos);
        EXPECT_EQ(seen["hint_platform"], "Linux");
        std::string major = ua.substr(ua.find("Chrome/") + 7, 3);
        EXPECT_NE(seen["brands"].get<std::string>().find("Chromium " + major), std::string::npos);
    }
    // The Windows user's language (zh-CN under the tests' Wine).
    EXPECT_EQ(seen["languages"], "zh-CN,zh");
    EXPECT_TRUE(accept_language_.starts_with("zh-CN,zh")) << accept_language_;
    // The desktop the window is on, and a window at least as large as its page.
    EXPECT_EQ(seen["screen"], json::array({GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 1}));
    json window = seen["window"];
    EXPECT_EQ(window[0], 780);
    EXPECT_EQ(window[1], 560);
    EXPECT_GE(window[2].get<int>(), window[0].get<int>());
    EXPECT_GE(window[3].get<int>(), window[1].get<int>());
    // Nothing of the view's own scripts among the page's globals.
    EXPECT_EQ(seen["names"], "");
    EXPECT_EQ(seen["cursor"], "undefined");
    EXPECT_EQ(seen["status"], "string");
    std::printf("[ figures  ] %s: BotD says %s\n", c.name, seen["bot"].get<std::string>().c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Paths,
    PageSeesTest,
    ::testing::Values(IdentityCase{"Linux", Path::kLinux, ""},
                      IdentityCase{"Windows", Path::kWindows, ""},
                      IdentityCase{"GivenAgent", Path::kLinux,
                                   "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                   "Chrome/124.0.0.0 Safari/537.36"}),
    [](const ::testing::TestParamInfo<IdentityCase>& info) { return std::string(info.param.name); });

// What sites stored in the browser (a cookie, local storage) is there again after the page was
// replaced because it stopped answering, and after the host started anew with the same folder,
// as at the next start of the program.
class LastingProfileTest : public PageIdentityTest, public ::testing::WithParamInterface<Path> {};

TEST_P(LastingProfileTest, WhatSitesStoredStaysAcrossAReplacedPageAndTheNextStart) {
    const std::wstring kKept = L"cookie visit=kept, storage kept";
    take(GetParam());
    int view = open("/store");
    ASSERT_NE(view, 0);
    ASSERT_FALSE(title_beginning(L"stored").empty());
    // The page's script never yields: its source is not given, and the page is replaced.
    EXPECT_EQ(load(view, "/busy"), 200);
    EXPECT_TRUE(pump_until([&] { return view_->get_page_source(view, "", false).empty(); }, 15000));
    EXPECT_EQ(load(view, "/read"), 200);
    EXPECT_EQ(title_beginning(L"cookie"), kKept);

    end_view();
    forget_events();
    make_view();
    view_->set_cache(win::wide_to_ansi(cache_.path()));
    ASSERT_NE(open("/read"), 0);
    EXPECT_EQ(title_beginning(L"cookie"), kKept);
    // The request carried the cookie too.
    std::string cookie;
    for (const HttpRequest& request : server_.requests()) {
        if (request.path == "/read" && request.headers.contains("cookie"))
            cookie = request.headers.at("cookie");
    }
    EXPECT_EQ(cookie, "visit=kept");
}

// A browser that the host did not start holds the profile (as one left by an earlier run might,
// or another copy of the program in the same folder): the host waits for it a moment, then sets
// the profile aside, keeping it, and shows its pages with a new one.
TEST_F(PageIdentityTest, AProfileHeldByAnotherBrowserIsSetAsideAndANewOneServes) {
    std::string profile = win::wide_to_utf8(unix_path(cache_.path())) + "/Browser";
    ASSERT_EQ(run_unix("mkdir -p '" + profile +
                       "' && (chromium --headless=new --no-sandbox --no-first-run "
                       "--disable-background-networking --remote-debugging-port=0 --user-data-dir='" +
                       profile + "' about:blank </dev/null >/dev/null 2>&1 &)"),
              0);
    ASSERT_TRUE(
        pump_until([&] { return win::read_file_bytes(cache_.path() + L"\\Browser\\DevToolsActivePort").has_value(); }));
    int view = open("/utf8");
    ASSERT_NE(view, 0);
    EXPECT_EQ(wait_for("finished").value_or(Event{}).status, 200);
    std::string log = win::read_file_bytes(cache_.path() + L"\\host-engine.log").value_or("");
    EXPECT_NE(log.find("profile moved to"), std::string::npos) << log;
    EXPECT_NE(log.find("engine: Z:\\usr\\bin\\chromium"), std::string::npos) << log;
    bool kept = false;
    win::for_each_entry(cache_.path(), L"Browser.aside-*", [&](const WIN32_FIND_DATAW&) { kept = true; });
    EXPECT_TRUE(kept);
    run_unix("pkill -f -- '" + browser_pattern() + "'");
}

INSTANTIATE_TEST_SUITE_P(Paths,
                         LastingProfileTest,
                         ::testing::Values(Path::kLinux, Path::kWindows),
                         [](const ::testing::TestParamInfo<Path>& info) {
                             return info.param == Path::kLinux ? "Linux" : "Windows";
                         });

}  // namespace
}  // namespace quarnel
