#pragma once

// Helpers of the browser host's tests: the host program's path as Wine sees it, a message pump
// that waits for a condition, and a small HTTP server on 127.0.0.1.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quarnel::testing_support {

// The browser host program in the build tree, as Wine sees it (Z: is /).
inline std::wstring host_program_path() {
    std::wstring path = L"Z:";
    for (char c : std::string(QUARNEL_HOST_EXE))
        path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

// Dispatches this thread's messages until `done` holds or the time is up; whether it held. The
// default wait is generous: Wine starts processes slowly, and nothing here is timed.
inline bool pump_until(const std::function<bool()>& done, DWORD timeout_ms = 30000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeout_ms)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// One connection at a time, "Connection: close" on every answer; routes are fixed before start.
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

class TestHttpServer {
public:
    using Route = std::function<HttpResponse(const HttpRequest&)>;

    TestHttpServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~TestHttpServer() {
        stop();
        WSACleanup();
    }

    void route(const std::string& path, Route handler) { routes_[path] = std::move(handler); }
    void route(const std::string& path, HttpResponse response) {
        routes_[path] = [response](const HttpRequest&) { return response; };
    }

    bool start() {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int size = sizeof(address);
        if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return false;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
        return true;
    }

    void stop() {
        if (listener_ != INVALID_SOCKET) {
            closesocket(listener_);
            listener_ = INVALID_SOCKET;
        }
        if (thread_.joinable())
            thread_.join();
    }

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

private:
    void serve() {
        for (;;) {
            SOCKET connection = accept(listener_, nullptr, nullptr);
            if (connection == INVALID_SOCKET)
                return;
            answer(connection);
            shutdown(connection, SD_SEND);
            closesocket(connection);
        }
    }

    void answer(SOCKET connection) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            int got = recv(connection, buffer, sizeof(buffer), 0);
            if (got <= 0)
                return;
            head.append(buffer, got);
        }
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
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            size_t value = line.find_first_not_of(' ', colon + 1);
            request.headers[name] = value == std::string::npos ? "" : line.substr(value);
        }
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
        for (size_t sent = 0; sent < reply.size();) {
            int n = send(connection, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
            if (n <= 0)
                return;
            sent += static_cast<size_t>(n);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::thread thread_;
    std::map<std::string, Route> routes_;
    std::mutex mutex_;
    std::map<std::string, int> hits_;
    std::vector<HttpRequest> requests_;
};

}  // namespace quarnel::testing_support
