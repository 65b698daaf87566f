#pragma once

// The browser's DevTools connection as the host's window thread sees it: one WebSocket to the
// browser over Winsock, read by a thread of its own (the window thread never waits on the
// socket), commands sent with a callback for their reply, events handed on with their session.
// Replies and events arrive on the window thread, through a message to a hidden window.

#include "controls/window.h"
#include "core/tick_clock.h"
#include "devtools/devtools.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <winsock2.h>

namespace quarnel::host {

using devtools::Message;
using devtools::Params;

class DevToolsLink final : private ui::Window {
public:
    // A command's outcome: its reply, or nothing when the browser answered with an error, did
    // not answer within the time limit, or the connection ended.
    using Reply = std::function<void(const Message* reply)>;
    using EventHandler = std::function<void(const Message& event)>;

    // `clock` times the commands the browser leaves unanswered.
    explicit DevToolsLink(TickClock clock);
    ~DevToolsLink() override;

    // Connects to ws://127.0.0.1:<port><path> and completes the handshake, within `timeout_ms`.
    bool connect(int port, const std::string& path, unsigned timeout_ms);

    // Sends a command; `reply` (may be empty) is called exactly once, on the window thread.
    void send(const std::string& method,
              const Params& params = Params(),
              const std::string& session = {},
              Reply reply = {});

    // The hidden window the link's messages go to.
    HWND window() const { return hwnd(); }

    // Whether the connection still works.
    bool open() const { return !closed_; }

    // Called for every event, on the window thread.
    EventHandler on_event;
    // Called once when the connection ends (the browser closed or died), on the window thread.
    std::function<void()> on_closed;

    // Closes the socket now (the reader thread ends), failing every command still waiting.
    void close();

private:
    struct Pending {
        Reply reply;
        std::uint32_t sent_at;
    };

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void read_loop(SOCKET s, std::string already_read);
    void send_frame(int opcode, const std::string& payload);
    void take_incoming();
    void dispatch(const std::string& text);
    void fail_overdue(bool all);

    TickClock clock_;
    SOCKET socket_ = INVALID_SOCKET;
    std::thread reader_;
    std::mutex send_lock_;
    std::mutex incoming_lock_;
    std::deque<std::string> incoming_;  // texts the reader took, waiting for the window thread
    bool reader_ended_ = false;         // under incoming_lock_
    bool closed_ = false;
    devtools::CommandTable commands_;
    std::map<int, Pending> pending_;  // by command id: what waits for each reply
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host
