#pragma once

// Small HTTP servers for tests on 127.0.0.1 at a free port, in the test's own process.
// `LoopbackHttpServer` serves one connection at a time, keeps the raw bytes of each request, and
// answers through a function of the test's that writes whatever bytes it likes to the socket (so
// it can send a short body or cut the connection). `TestHttpServer` answers over it from a table
// of routes with whole responses.

#include <winsock2.h>

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <atomic>
#include <thread>
#include <vector>

namespace quarnel::test {

class LoopbackHttpServer {
public:
    // Called with the connection and the raw request; the connection is closed afterwards.
    using Responder = std::function<void(SOCKET, const std::string& request)>;

    explicit LoopbackHttpServer(Responder responder) : responder_(std::move(responder)) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        // Programs a test starts (the browser host inherits handles) must not keep the socket
        // open: closing it is what ends the server.
        SetHandleInformation(reinterpret_cast<HANDLE>(listener_), HANDLE_FLAG_INHERIT, 0);
        port_ = bind_loopback(listener_);
        if (listen(listener_, 16) != 0)
            port_ = 0;
        thread_ = std::thread([this] { serve(); });
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;
    ~LoopbackHttpServer() {
        stopping_ = true;
        closesocket(listener_);  // ends the blocked accept
        thread_.join();
        WSACleanup();
    }

    int port() const { return port_; }
    std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    // Writes every byte, or as many as the peer takes.
    static void send_all(SOCKET s, std::string_view bytes) {
        while (!bytes.empty()) {
            int sent = send(s, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 65536)), 0);
            if (sent <= 0)
                return;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
    }

    // A port on 127.0.0.1 where nothing listens (it was free a moment ago).
    static int unused_port() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        int port = bind_loopback(s);
        closesocket(s);
        WSACleanup();
        return port;
    }

private:
    // Binds to 127.0.0.1 at a port the system picks; returns the port, 0 on failure.
    static int bind_loopback(SOCKET s) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof(addr);
        if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return 0;
        return ntohs(addr.sin_port);
    }

    void serve() {
        for (;;) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client != INVALID_SOCKET)
                SetHandleInformation(reinterpret_cast<HANDLE>(client), HANDLE_FLAG_INHERIT, 0);
            // A connection its client dropped before it was taken fails the accept; only the
            // server's own end stops it.
            if (client == INVALID_SOCKET && stopping_)
                return;
            if (client == INVALID_SOCKET)
                continue;
            // A browser opens connections ahead of its requests; one that stays idle must not
            // hold the one thread that serves, or the next connections are refused.
            DWORD idle_ms = 1000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&idle_ms), sizeof(idle_ms));
            std::string request = read_request(client);
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            responder_(client, request);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    // Reads up to the blank line that ends the headers. A request that does not start like
    // HTTP (a TLS handshake) is kept as its first bytes.
    static std::string read_request(SOCKET client) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            int got = recv(client, buf, sizeof(buf), 0);
            if (got <= 0)
                break;
            request.append(buf, static_cast<size_t>(got));
            if (!(request[0] >= 'A' && request[0] <= 'Z'))
                break;
        }
        return request;
    }

    Responder responder_;
    SOCKET listener_ = INVALID_SOCKET;
    std::atomic<bool> stopping_{false};
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

}  // namespace quarnel::test

namespace quarnel::test {

struct HttpRequest {
    std::string path;
    std::map<std::string, std::string> headers;  // names lower-cased
};

struct HttpResponse {
    int status = 200;
    std::string content_type = "text/html";
    std::string extra_headers;  // whole lines, each ending in CR LF
    std::string body;
};

// Answers each request from the route of its path (404 where there is none), with
// "Connection: close" on every answer; routes are fixed before start. A connection that ends
// before its headers do gets no answer and is not counted.
class TestHttpServer {
public:
    using Route = std::function<HttpResponse(const HttpRequest&)>;

    ~TestHttpServer() { stop(); }

    void route(const std::string& path, Route handler) { routes_[path] = std::move(handler); }
    void route(const std::string& path, HttpResponse response) {
        routes_[path] = [response](const HttpRequest&) { return response; };
    }

    bool start() {
        server_ = std::make_unique<test::LoopbackHttpServer>(
            [this](SOCKET connection, const std::string& raw) { answer(connection, raw); });
        port_ = server_->port();
        return port_ != 0;
    }

    // Stops listening; url() still names the port, where nothing answers now.
    void stop() { server_.reset(); }

    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::wstring wide_url(const std::string& path) const {
        std::string narrow = url(path);
        return std::wstring(narrow.begin(), narrow.end());
    }

    int hits(const std::string& path) {
        std::lock_guard lock(mutex_);
        return hits_[path];
    }

    std::vector<HttpRequest> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    // Drops the requests recorded so far: a long pass would otherwise keep every one.
    void forget_requests() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }

private:
    static HttpRequest parse(const std::string& head) {
        HttpRequest request;
        size_t line_end = head.find("\r\n");
        std::string first = head.substr(0, line_end);
        size_t path_start = first.find(' ') + 1;
        request.path = first.substr(path_start, first.find(' ', path_start) - path_start);
        for (size_t at = line_end + 2; at < head.size();) {
            size_t end = head.find("\r\n", at);
            std::string line = head.substr(at, end - at);
            at = end + 2;
            size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            std::string name = line.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            size_t value = line.find_first_not_of(' ', colon + 1);
            request.headers[name] = value == std::string::npos ? "" : line.substr(value);
        }
        return request;
    }

    void answer(SOCKET connection, const std::string& raw) {
        size_t head_end = raw.find("\r\n\r\n");
        if (head_end == std::string::npos)
            return;
        HttpRequest request = parse(raw.substr(0, head_end + 4));
        {
            std::lock_guard lock(mutex_);
            ++hits_[request.path];
            requests_.push_back(request);
        }
        auto route = routes_.find(request.path);
        HttpResponse response =
            route != routes_.end() ? route->second(request) : HttpResponse{404, "text/html", "", "<p>no such page</p>"};
        std::string reply = "HTTP/1.1 " + std::to_string(response.status) + " X\r\n";
        if (!response.content_type.empty())
            reply += "Content-Type: " + response.content_type + "\r\n";
        reply += response.extra_headers;
        reply += "Content-Length: " + std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n";
        reply += response.body;
        test::LoopbackHttpServer::send_all(connection, reply);
    }

    std::unique_ptr<test::LoopbackHttpServer> server_;
    int port_ = 0;
    std::map<std::string, Route> routes_;
    std::mutex mutex_;
    std::map<std::string, int> hits_;
    std::vector<HttpRequest> requests_;
};

}  // namespace quarnel::test
