// The timed pass and the title capture in this process, with the real browser host showing
// pages of a local server.

#include "app/main_window.h"

#include "loopback_http_server.h"
#include "test_effects.h"
#include "win_test_util.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace quarnel {
namespace {

using testing::LoopbackHttpServer;

// The GBK bytes of a wide text.
std::string gbk(const std::wstring& text) {
    return win::wide_to_ansi(text);
}

// Serves `pages` by path; anything else is a 404 page.
LoopbackHttpServer::Responder serve_pages(std::map<std::string, std::string> pages) {
    return [pages](SOCKET s, const std::string& request) {
        std::string path = request.substr(4, request.find(' ', 4) - 4);
        auto found = pages.find(path);
        std::string body = found == pages.end() ? "<html>missing</html>" : found->second;
        LoopbackHttpServer::send_all(s, std::string(found == pages.end() ? "HTTP/1.0 404 Not Found" : "HTTP/1.0 200 OK") +
                                            "\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: " +
                                            std::to_string(body.size()) + "\r\n\r\n" + body);
    };
}

class VisitingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring runtime = folder.path() + L"\\ziroz";
        CreateDirectoryW(runtime.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(test::wine_path(QUARNEL_HOST_EXE).c_str(), (runtime + L"\\cefview(e_pair).exe").c_str(),
                              FALSE));
        ASSERT_TRUE(window.create());
        window.servers.start_address_url = "";
        window.servers.default_start_page = server.base_url() + "/start.html";
        window.lifecycle.start_up();
        // Icon downloads are recorded, not made.
        effects->fetcher = [this](const std::string& url) {
            fetched.push_back(url);
            return std::string();
        };
        ASSERT_TRUE(test::pump_until([&] { return window.visiting.child_view_id != 0; }));
    }
    void TearDown() override {
        DestroyWindow(window.hwnd());
        test::pump_for(300);
    }

    void load(const std::string& text) {
        window.url_text_box.set_text(text);
        window.address_list.read_urls();
    }
    std::string cell(int row, int column) { return window.url_list_view.cell_text(row, column); }

    LoopbackHttpServer server{serve_pages({
        {"/start.html", "<html><head><title>start</title></head></html>"},
        {"/upper.html", "<HTML><HEAD><TITLE>Foo</TITLE><link rel=\"icon\" href=\"//127.0.0.1/i/favicon.ico\"></HEAD></HTML>"},
        {"/json.html", "<html><body>{\"title\":\"Bar\"}</body></html>"},
        {"/blank.html", "<html><head><title> \r\n  </title></head></html>"},
        {"/none.html", "<html><body>no title</body></html>"},
        {"/gbk.html", "<html><head><title>" + gbk(L"中文标题") + "</title></head></html>"},
    })};
    test::TempFolder folder;
    test::TestEffects* effects = new test::TestEffects;
    MainWindow window{folder.path(), std::unique_ptr<OutsideEffects>(effects)};
    std::vector<std::string> fetched;
};

TEST_F(VisitingTest, APassVisitsEveryRowInOrderAndCapturesTitleTimeAndIcon) {
    const std::string base = server.base_url();
    load(base + "/upper.html\r\n" + base + "/json.html\r\n" + base + "/blank.html\r\n" + base + "/none.html\r\n" +
         base + "/gbk.html\r\n");
    window.interval_box.set_text("1.5");
    window.start_button.on_click();
    EXPECT_EQ(window.start_button.caption(), L"停止");
    EXPECT_EQ(window.visit_timer.interval(), 1500);
    // The pass ends on the tick after the last row.
    ASSERT_TRUE(test::pump_until([&] { return window.start_button.caption() == L"启动"; }, 60000));
    EXPECT_EQ(window.visiting.visit_cursor, 0);
    EXPECT_EQ(window.visit_timer.interval(), 0);
    // The last capture follows the last load by a second.
    ASSERT_TRUE(test::pump_until([&] { return !cell(4, kTimeColumn).empty(); }, 10000));

    EXPECT_EQ(cell(0, kTitleColumn), "Foo");
    EXPECT_EQ(cell(1, kTitleColumn), "Bar");
    EXPECT_EQ(cell(2, kTitleColumn), "");
    EXPECT_EQ(cell(3, kTitleColumn), gbk(L"无标题"));
    EXPECT_EQ(cell(4, kTitleColumn), gbk(L"中文标题"));
    EXPECT_EQ(window.title_label.caption(), L"中文标题");
    for (int row = 0; row < 5; ++row) {
        std::string time = cell(row, kTimeColumn);
        ASSERT_EQ(time.size(), 19u) << row;
        EXPECT_EQ(time.substr(4, 1) + time.substr(7, 1) + time.substr(10, 1) + time.substr(13, 1) + time.substr(16, 1),
                  "-- ::");
    }
    ASSERT_FALSE(fetched.empty());
    EXPECT_EQ(fetched.front(), "http://127.0.0.1/i/favicon.ico");
}

TEST_F(VisitingTest, StoppingKeepsTheCursorAndAnEmptyListEndsAtTheFirstTick) {
    const std::string base = server.base_url();
    load(base + "/upper.html\r\n" + base + "/json.html\r\n");
    window.interval_box.set_text("\xA3\xB0.3");  // a full-width 0
    window.start_button.on_click();
    ASSERT_TRUE(test::pump_until([&] { return window.visiting.visit_cursor == 1; }, 10000));
    window.start_button.on_click();
    EXPECT_EQ(window.start_button.caption(), L"启动");
    EXPECT_EQ(window.visit_timer.interval(), 0);
    window.start_button.on_click();
    ASSERT_TRUE(test::pump_until([&] { return window.visiting.visit_cursor == 2; }, 10000));
    EXPECT_EQ(window.shown_row, 2);
    ASSERT_TRUE(test::pump_until([&] { return window.start_button.caption() == L"启动"; }, 10000));

    window.url_list_view.delete_all_rows();
    window.start_button.on_click();
    ASSERT_TRUE(test::pump_until([&] { return window.start_button.caption() == L"启动"; }, 10000));
    EXPECT_EQ(window.visiting.visit_cursor, 0);
}

TEST_F(VisitingTest, EventsArmOneCaptureASecondAfterTheFirst) {
    load(server.base_url() + "/upper.html\r\n");
    window.shown_row = 1;
    DWORD armed = GetTickCount();
    window.visiting.arm_capture();
    test::pump_for(700);
    window.visiting.arm_capture();  // unchanged interval: neither restarts nor delays it
    ASSERT_TRUE(test::pump_until([&] { return !cell(0, kTimeColumn).empty(); }, 10000));
    // A restart by the second event would capture 1700 ms after the first at the earliest.
    DWORD waited = GetTickCount() - armed;
    EXPECT_GE(waited, 950u);
    EXPECT_LT(waited, 1700u);
    EXPECT_EQ(window.capture_timer.interval(), 0);
}

}  // namespace
}  // namespace quarnel
