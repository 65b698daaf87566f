#pragma once

// A small HTTP server for tests on 127.0.0.1 at a free port, in the test's own process. It
// serves one connection at a time, keeps the raw bytes of each request, and answers through a
// function of the test's that writes whatever bytes it likes to the socket (so it can send a
// short body or cut the connection).

#include <winsock2.h>

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quarnel::testing {

class LoopbackHttpServer {
public:
    // Called with the connection and the raw request; the connection is closed afterwards.
    using Responder = std::function<void(SOCKET, const std::string& request)>;

    explicit LoopbackHttpServer(Responder responder) : responder_(std::move(responder)) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        port_ = bind_loopback(listener_);
        if (listen(listener_, 8) != 0)
            port_ = 0;
        thread_ = std::thread([this] { serve(); });
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;
    ~LoopbackHttpServer() {
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
            if (client == INVALID_SOCKET)
                return;
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
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
};

}  // namespace quarnel::testing
