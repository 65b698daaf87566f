// The start-up sequence in this process, with the scripted stand-in as the browser host (it logs
// every command it receives) and a local server for the start-address file.

#include "main_window_insides.h"
#include "winbase/files.h"

#include "loopback_http_server.h"
#include "win_test_util.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <string>

namespace quarnel {
namespace {

using test::LoopbackHttpServer;

// Answers every request with `body` and status 200.
LoopbackHttpServer::Responder serve_body(std::string body) {
    return [body](SOCKET s, const std::string&) {
        LoopbackHttpServer::send_all(
            s, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    };
}

class FirstPageAndRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::wstring runtime = folder.path() + L"\\ziroz";
        CreateDirectoryW(runtime.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW((test::wine_path(QUARNEL_SCRIPTED_HOST_DIR) + L"\\cefview(e_pair).exe").c_str(),
                              (runtime + L"\\cefview(e_pair).exe").c_str(), FALSE));
        ASSERT_TRUE(window.create());
        window.servers.default_start_page = "https://portal.test/s.html?q=123456";
    }
    void TearDown() override { close_window(); }

    // The host ends once the view's window is gone; its files can go after that.
    void close_window() {
        if (!IsWindow(window.hwnd()) || !inside.browser_view())
            return;
        win::UniqueKernelHandle host = test::process_of_window(inside.browser_view()->host_window());
        DestroyWindow(window.hwnd());
        EXPECT_TRUE(test::pump_until_ended(std::span(&host, 1)));
    }

    std::string host_log() { return win::read_file_bytes(folder.path() + L"\\ziroz\\host.log").value_or(""); }
    // The log line of the start address as the host received it, with the payload's size.
    static std::string child_url_line(const std::string& url) {
        return "8818 " + url + " size " + std::to_string(2 * url.size() + 2);
    }

    test::TempFolder folder;
    MainWindow window{folder.path()};
    MainWindowInsides inside{window};
};

TEST_F(FirstPageAndRuntimeTest, StartAddressReachesTheBrowserViewVerbatimWithItsLineBreak) {
    LoopbackHttpServer server(serve_body("http://127.0.0.1/first.html\r\n"));
    window.servers.start_address_url = server.base_url() + "/gotourl.txt";
    inside.lifecycle.start_up();
    EXPECT_EQ(inside.lifecycle.start_url(), "http://127.0.0.1/first.html\r\n");
    EXPECT_NE(host_log().find(child_url_line("http://127.0.0.1/first.html\r\n")), std::string::npos) << host_log();
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].substr(0, 25), "GET /gotourl.txt HTTP/1.0");
}

TEST_F(FirstPageAndRuntimeTest, DefaultPageWhenTheStartAddressYieldsNothing) {
    struct Case {
        const char* what;
        std::string body;
        bool reachable;
    } cases[] = {
        {"unreachable server", "", false},
        {"empty body", "", true},
        {"body starting with a NUL", std::string("\0http://x/", 10), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackHttpServer server(serve_body(c.body));
        window.servers.start_address_url =
            c.reachable ? server.base_url() + "/gotourl.txt"
                        : "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::unused_port()) + "/gotourl.txt";
        inside.lifecycle.start_up();
        EXPECT_EQ(inside.lifecycle.start_url(), "https://portal.test/s.html?q=123456");
        // Each case starts the engine again; the log keeps growing.
        EXPECT_NE(host_log().find(child_url_line("https://portal.test/s.html?q=123456")), std::string::npos);
        DeleteFileW((folder.path() + L"\\ziroz\\host.log").c_str());
        close_window();
        ASSERT_TRUE(window.create());
    }
}

TEST_F(FirstPageAndRuntimeTest, PresentHostMeansNothingIsUnpackedAndTheTemporaryArchiveIsDeleted) {
    folder.write_file(L"cxtemp.zip", "left over");
    inside.lifecycle.start_up();
    EXPECT_EQ(GetFileAttributesW((folder.path() + L"\\cxtemp.zip").c_str()), INVALID_FILE_ATTRIBUTES);
    // Only the scripted host and its log are in the runtime folder: nothing was unpacked.
    EXPECT_EQ(GetFileAttributesW((folder.path() + L"\\ziroz\\locales").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(host_log().find("cmdline "), std::string::npos);
}

TEST_F(FirstPageAndRuntimeTest, EngineThatCannotStartLeavesTheRestOfStartUpRunning) {
    DeleteFileW((folder.path() + L"\\ziroz\\cefview(e_pair).exe").c_str());
    folder.write_file(L"网址.txt", "http://saved/");
    window.servers.start_address_url = "";
    // This test program carries no runtime package, so deployment fails and so does the engine.
    inside.lifecycle.start_up();
    EXPECT_EQ(inside.url_text_box.text(), "http://saved/");
    EXPECT_TRUE(inside.favicon_picture.bitmap());
    EXPECT_EQ(GetFocus(), inside.url_text_box.hwnd());
    EXPECT_EQ(GetFileAttributesW((folder.path() + L"\\cxtemp.zip").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace quarnel
