// http_fetch against a server of the test's own on 127.0.0.1: the request as it reaches the
// server, and bodies of every shape returned whole.
#include "tests/win/loopback_http_server.h"

#include "app/http_fetch.h"
#include "winbase/handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

namespace quarnel {
namespace {

using test::LoopbackHttpServer;

std::string pattern(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 131) ^ (i >> 8));
    return s;
}

std::string request_path(const std::string& request) {
    size_t start = request.find(' ');
    size_t end = request.find(' ', start + 1);
    return start == std::string::npos || end == std::string::npos ? "" : request.substr(start + 1, end - start - 1);
}

std::vector<std::string> header_lines(const std::string& request, std::string_view name) {
    std::vector<std::string> lines;
    std::istringstream in(request);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, name.size(), name) == 0)
            lines.push_back(line);
    }
    return lines;
}

// The responses of the test server, by request path.
class HttpFetchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A proxy of the machine running the tests must not take the loopback requests.
        for (const wchar_t* name : {L"http_proxy", L"HTTP_PROXY", L"https_proxy", L"HTTPS_PROXY"})
            SetEnvironmentVariableW(name, nullptr);
    }

    static void respond(SOCKET s, const std::string& request) {
        std::string path = request_path(request);
        if (path == "/no-length") {
            LoopbackHttpServer::send_all(s, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + pattern(30000));
        } else if (path == "/len100") {
            LoopbackHttpServer::send_all(s, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\n" + pattern(100));
        } else if (path == "/big") {
            LoopbackHttpServer::send_all(s, "HTTP/1.0 200 OK\r\nContent-Length: 500000\r\n\r\n" + pattern(500000));
        } else if (path == "/missing") {
            std::string body = "<html>no such page</html>";
            LoopbackHttpServer::send_all(
                s, "HTTP/1.0 404 Not Found\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        } else if (path == "/cut") {
            // Promises more than it sends, then closes.
            LoopbackHttpServer::send_all(s, "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + pattern(30000));
        } else if (path == "/endless") {
            // More than any limit, without a length: only the limit ends the transfer.
            LoopbackHttpServer::send_all(s, "HTTP/1.0 200 OK\r\n\r\n" + pattern(3 * 1024 * 1024));
        } else if (path == "/counter") {
            static int visits = 0;
            LoopbackHttpServer::send_all(s,
                                         "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nCache-Control: max-age=3600"
                                         "\r\n\r\nvisit " +
                                             std::to_string(++visits));
        } else {
            LoopbackHttpServer::send_all(s, "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
        }
    }

    LoopbackHttpServer server{respond};
};

TEST_F(HttpFetchTest, RequestLineHeadersAndNoFragment) {
    std::string url = server.base_url() + "/page.php?q=1&r=%41b#section-2";
    EXPECT_EQ(http_fetch(url, kIconFetchLimit), "ok");
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string request = server.requests()[0];
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /page.php?q=1&r=%41b HTTP/1.0");
    EXPECT_EQ(header_lines(request, "User-Agent:"),
              std::vector<std::string>{"User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r"});
    EXPECT_EQ(header_lines(request, "Accept:"), std::vector<std::string>{"Accept: */*\r"});
    EXPECT_EQ(request.find('#'), std::string::npos);
}

TEST_F(HttpFetchTest, BodiesOfEveryShapeComeBackWhole) {
    struct Case {
        const char* path;
        std::string body;
    } cases[] = {
        {"/no-length", pattern(30000)},
        {"/len100", pattern(100)},
        {"/big", pattern(500000)},
        {"/missing", "<html>no such page</html>"},
    };
    for (const Case& c : cases) {
        std::string got = http_fetch(server.base_url() + c.path, kIconFetchLimit);
        EXPECT_EQ(got.size(), c.body.size()) << c.path;
        EXPECT_TRUE(got == c.body) << c.path << ": bytes differ";
    }
}

TEST_F(HttpFetchTest, ConnectionCutMidBodyReturnsWhatArrived) {
    std::string got = http_fetch(server.base_url() + "/cut", kIconFetchLimit);
    EXPECT_EQ(got.size(), 30000u);
    EXPECT_TRUE(got == pattern(30000));
}

TEST_F(HttpFetchTest, EveryFetchGoesToTheServer) {
    EXPECT_EQ(http_fetch(server.base_url() + "/counter", kIconFetchLimit), "visit 1");
    EXPECT_EQ(http_fetch(server.base_url() + "/counter", kIconFetchLimit), "visit 2") << "answered from a cache";
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(HttpFetchTest, NothingToFetchTouchesNoNetwork) {
    std::string fragment_only = server.base_url() + "/";
    fragment_only.insert(0, 1, '#');
    for (const std::string& url : {std::string(), fragment_only, std::string("not an address")})
        EXPECT_EQ(http_fetch(url, kIconFetchLimit), "") << url;
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpFetch, RefusedConnectionGivesEmptyBody) {
    int port = LoopbackHttpServer::unused_port();
    ASSERT_NE(port, 0);
    EXPECT_EQ(http_fetch("http://127.0.0.1:" + std::to_string(port) + "/", kIconFetchLimit), "");
}

TEST_F(HttpFetchTest, HttpsAddressSpeaksTls) {
    std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/secure";
    EXPECT_EQ(http_fetch(url, kIconFetchLimit), "");
    ASSERT_FALSE(server.requests().empty());
    // A TLS record of type handshake, not a plain-text request line.
    EXPECT_EQ(server.requests()[0][0], '\x16');
}

TEST_F(HttpFetchTest, BodyStopsAtTheLimitOfEachDownload) {
    for (size_t limit : {kIconFetchLimit, kStartAddressFetchLimit}) {
        std::string got = http_fetch(server.base_url() + "/endless", limit);
        EXPECT_EQ(got.size(), limit);
        EXPECT_TRUE(got == pattern(limit));
    }
}

TEST(HttpFetch, ServerThatNeverAnswersIsGivenUpAfterTheTimeOut) {
    win::UniqueKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE wait = release.get();
    LoopbackHttpServer silent([wait](SOCKET, const std::string&) { WaitForSingleObject(wait, 30000); });
    DWORD start = GetTickCount();
    EXPECT_EQ(http_fetch(silent.base_url() + "/", kIconFetchLimit, 1000), "");
    DWORD waited = GetTickCount() - start;
    SetEvent(wait);
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 2500u);
}

}  // namespace
}  // namespace quarnel
