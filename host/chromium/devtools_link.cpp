#include "host/chromium/devtools_link.h"

#include "devtools/websocket.h"

#include <ws2tcpip.h>

#include <random>

namespace quarnel::host {

namespace {

// Posted by the reader thread when texts wait or the connection ended.
constexpr UINT kIncomingMessage = WM_APP + 20;
constexpr UINT_PTR kOverdueTimer = 1;
constexpr UINT kOverduePeriodMs = 1000;
// A command the browser leaves unanswered this long is given up: the host must go on.
constexpr std::uint32_t kCommandTimeoutMs = 10000;

websocket::MaskKey random_mask() {
    // The mask only keeps a proxy from reading frames as requests; any unpredictable bytes do.
    static std::mt19937 generator([] {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        return static_cast<unsigned>(now.QuadPart) ^ GetCurrentProcessId() * 2654435761u;
    }());
    std::uniform_int_distribution<int> byte(0, 255);
    return {static_cast<std::uint8_t>(byte(generator)), static_cast<std::uint8_t>(byte(generator)),
            static_cast<std::uint8_t>(byte(generator)), static_cast<std::uint8_t>(byte(generator))};
}

bool send_all(SOCKET s, std::string_view bytes) {
    while (!bytes.empty()) {
        int sent = ::send(s, bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20)), 0);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(sent));
    }
    return true;
}

}  // namespace

DevToolsLink::DevToolsLink(TickClock clock) : clock_(std::move(clock)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelDevToolsLink";
    create_window(wc, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr);
    SetTimer(hwnd(), kOverdueTimer, kOverduePeriodMs, nullptr);
}

DevToolsLink::~DevToolsLink() {
    close();
    alive_.reset();
    WSACleanup();
}

bool DevToolsLink::connect(int port, const std::string& path, unsigned timeout_ms) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET)
        return false;
    // The browser must not inherit the socket.
    SetHandleInformation(reinterpret_cast<HANDLE>(socket_), HANDLE_FLAG_INHERIT, 0);
    DWORD timeout = timeout_ms;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    BOOL no_delay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof(no_delay));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close();
        return false;
    }
    std::array<std::uint8_t, 16> nonce{};
    for (size_t i = 0; i < nonce.size(); i += 4) {
        websocket::MaskKey bytes = random_mask();
        std::copy(bytes.begin(), bytes.end(), nonce.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::string key = websocket::key_from_bytes(nonce);
    if (!send_all(socket_, websocket::handshake_request("127.0.0.1:" + std::to_string(port), path, key))) {
        close();
        return false;
    }
    std::string answer;
    char buffer[4096];
    for (;;) {
        int got = recv(socket_, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            close();
            return false;
        }
        answer.append(buffer, static_cast<size_t>(got));
        websocket::HandshakeResult result = websocket::read_handshake_response(answer, key);
        if (result.state == websocket::HandshakeResult::State::kRefused) {
            close();
            return false;
        }
        if (result.state == websocket::HandshakeResult::State::kAccepted) {
            answer.erase(0, result.size);
            break;
        }
    }
    // From here the reader waits as long as the browser is quiet.
    timeout = 0;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    reader_ = std::thread([this, s = socket_, rest = std::move(answer)]() mutable { read_loop(s, std::move(rest)); });
    return true;
}

// `s` is the socket as it was when the reader began: close() may reset the member meanwhile, and
// closing the socket is what ends the reader's recv.
void DevToolsLink::read_loop(SOCKET s, std::string already_read) {
    websocket::FrameReader reader;
    std::string bytes = std::move(already_read);
    HWND window = hwnd();
    for (bool over = false; !over;) {
        reader.feed(bytes);
        bool posted = false;
        while (std::optional<websocket::Event> event = reader.next()) {
            switch (event->kind) {
                case websocket::Event::Kind::kText:
                case websocket::Event::Kind::kBinary: {
                    std::lock_guard lock(incoming_lock_);
                    incoming_.push_back(std::move(event->data));
                    posted = true;
                    break;
                }
                case websocket::Event::Kind::kPing:
                    send_frame(static_cast<int>(websocket::Opcode::kPong), event->data);
                    break;
                case websocket::Event::Kind::kPong:
                    break;
                case websocket::Event::Kind::kClose:
                case websocket::Event::Kind::kError:
                    over = true;
                    break;
            }
        }
        if (posted)
            PostMessageW(window, kIncomingMessage, 0, 0);
        if (over)
            break;
        char buffer[64 * 1024];
        int got = recv(s, buffer, sizeof(buffer), 0);
        if (got <= 0)
            break;
        bytes.assign(buffer, static_cast<size_t>(got));
    }
    {
        std::lock_guard lock(incoming_lock_);
        reader_ended_ = true;
    }
    PostMessageW(window, kIncomingMessage, 0, 0);
}

void DevToolsLink::send_frame(int opcode, const std::string& payload) {
    std::lock_guard lock(send_lock_);
    if (socket_ == INVALID_SOCKET)
        return;
    send_all(socket_, websocket::encode_frame(static_cast<websocket::Opcode>(opcode), payload, true, random_mask()));
}

void DevToolsLink::send(const std::string& method, const Params& params, const std::string& session, Reply reply) {
    if (closed_) {
        if (reply)
            reply(nullptr);
        return;
    }
    devtools::Command command = commands_.add(method, params, session);
    pending_[command.id] = Pending{std::move(reply), clock_()};
    send_frame(static_cast<int>(websocket::Opcode::kText), command.text);
}

void DevToolsLink::close() {
    {
        std::lock_guard lock(send_lock_);
        if (socket_ != INVALID_SOCKET) {
            shutdown(socket_, SD_BOTH);
            closesocket(socket_);  // ends the reader's recv
            socket_ = INVALID_SOCKET;
        }
    }
    if (reader_.joinable())
        reader_.join();
    bool was_open = !closed_;
    closed_ = true;
    fail_overdue(true);
    if (was_open && on_closed && alive_)
        on_closed();
}

LRESULT DevToolsLink::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kIncomingMessage:
            take_incoming();
            return 0;
        case WM_TIMER:
            if (wp == kOverdueTimer) {
                fail_overdue(false);
                return 0;
            }
            break;
    }
    return Window::handle_message(msg, wp, lp);
}

void DevToolsLink::take_incoming() {
    std::weak_ptr<bool> alive = alive_;
    for (;;) {
        std::string text;
        bool ended = false;
        {
            std::lock_guard lock(incoming_lock_);
            if (incoming_.empty()) {
                ended = reader_ended_;
            } else {
                text = std::move(incoming_.front());
                incoming_.pop_front();
            }
        }
        if (text.empty()) {
            if (ended && !closed_)
                close();
            return;
        }
        dispatch(text);
        // A handler may have ended the engine, and this link with it.
        if (alive.expired())
            return;
    }
}

void DevToolsLink::dispatch(const std::string& text) {
    std::optional<Message> message = commands_.receive(text);
    if (!message)
        return;
    if (message->kind == Message::Kind::kEvent) {
        if (on_event)
            on_event(*message);
        return;
    }
    auto found = pending_.find(message->id);
    if (found == pending_.end())
        return;
    Reply reply = std::move(found->second.reply);
    pending_.erase(found);
    if (reply)
        reply(message->kind == Message::Kind::kReply ? &*message : nullptr);
}

void DevToolsLink::fail_overdue(bool all) {
    std::uint32_t now = clock_();
    std::vector<Reply> failed;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (all || now - it->second.sent_at >= kCommandTimeoutMs) {
            commands_.forget(it->first);
            failed.push_back(std::move(it->second.reply));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (Reply& reply : failed) {
        if (reply)
            reply(nullptr);
    }
}

}  // namespace quarnel::host
