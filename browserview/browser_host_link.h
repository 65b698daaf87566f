#pragma once

// The link between the browser view's window and one browser host process: launching the host,
// the start-up handshake, the blocking page-source request, and the queue that turns the host's
// notifications into calls of the virtual hook on the window thread.

#include "controls/window.h"
#include "core/browser_event.h"
#include "core/host_protocol.h"
#include "winbase/handles.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// The window of a child view: a view id is the 32-bit value of its window handle.
HWND window_of_view(int view_id);

class BrowserHostLink : public ui::Window {
public:
    // How long get_page_source waits for the host's answer before it gives up with empty text,
    // unless the control is made with another wait.
    static constexpr DWORD kPageSourceTimeoutMs = 10000;
    // How long start_engine waits for the ready message from a host that still runs.
    static constexpr DWORD kEngineStartTimeoutMs = 60000;
    // How long a message sent to the host may take before the host counts as hung.
    static constexpr UINT kSendTimeoutMs = 10000;

    // The host's message window, null when no host has reported ready (or it was lost).
    HWND host_window() const { return host_window_; }

    // 1 from a live host, 0 without one.
    int engine_ready();
    // Hands the host the area and parent of a new child view and its start URL (8-bit ANSI), then
    // asks it to create the view. True when the host began creating it; the view id comes later
    // with the view-created notification.
    bool create_child_view(std::string_view url);
    // Sends nothing when there is no live host, the view id names no window, or the URL is empty.
    void navigate(int view_id, std::string_view url);
    // The HTML source of a frame (empty frame text: the main frame), converted to ANSI. Empty text
    // when there is no live host, the view id names no window, the host answers with nothing, the
    // host ends or does not answer within the page-source wait. Dispatches the thread's messages
    // while it waits; a call made from inside that wait returns empty text at once.
    std::string get_page_source(int view_id, std::string_view frame, bool frame_flag);
    // The same, with nothing where get_page_source gives empty text for want of an answer: a page
    // that answered with empty text is told apart from one that gave no answer (its browser died,
    // or it never yields).
    std::optional<std::string> page_source_answer(int view_id, std::string_view frame, bool frame_flag);

protected:
    BrowserHostLink() = default;
    ~BrowserHostLink() override;

    // Launches "<folder>\cefview(e_pair).exe" with the command line made of the given texts and
    // waits, dispatching messages, for its ready message. False when the program cannot be
    // started, or it ends (or the wait runs out) before it reports ready.
    bool start_host(std::string_view folder,
                    const std::string& cache,
                    const std::string& user_agent,
                    std::string_view extra);

    // Forgets a host whose window is gone.
    void forget_host() { host_window_ = nullptr; }
    // Window thread: the last host process started has ended (its window is normally gone too).
    virtual void on_host_process_ended() {}

    // The page-source wait, set when the control is made.
    DWORD page_source_timeout_ms_ = kPageSourceTimeoutMs;

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void on_destroyed() override;

    // Every notification from the host, decoded once, on the window thread. Queued ones arrive
    // one at a time and in the host's order, after the message that carried each has been
    // answered; new-window and context-menu ones at once, inside their message, whose answer is
    // the hook's. Texts are valid only during the call.
    virtual int on_host_event(const BrowserEvent& /*event*/) { return 0; }

private:
    enum class WaitEnd { signalled, host_gone, timed_out, quit };
    WaitEnd wait_dispatching(DWORD timeout_ms, bool watch_host_window);

    bool send_to_host(UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* answer = nullptr);
    bool send_copydata(std::uint32_t code, const void* data, std::size_t size);
    std::optional<LRESULT> on_copydata(const COPYDATASTRUCT& cds);
    std::optional<LRESULT> take_notification(const HostMessage& message);

    void watch_host_process();
    void stop_watching_host_process();
    static void CALLBACK host_process_ended(void* window, BOOLEAN timed_out);

    void queue(BrowserEvent event);
    void post_delivery();
    void deliver_queued();
    LRESULT raise_at_once(const BrowserEvent& event);
    bool run_hook(const BrowserEvent& event, int& answer);

    HWND host_window_ = nullptr;
    win::UniqueKernelHandle signal_;
    win::UniqueKernelHandle host_process_;
    HANDLE host_process_wait_ = nullptr;  // the registered wait for host_process_ to end
    bool request_active_ = false;
    std::optional<std::u16string> pending_reply_;
    std::u16string reply_parts_;  // the page source's leading parts, while a request waits
    // From WM_CREATE on, the window owns this object: it is deleted when the window goes, or
    // when a hook running then has returned.
    bool owned_by_window_ = false;

    std::deque<BrowserEvent> queue_;
    bool delivery_posted_ = false;  // the message that delivers the queue is on its way
    int hooks_running_ = 0;         // more than 1 when a hook dispatches messages
};

}  // namespace quarnel
