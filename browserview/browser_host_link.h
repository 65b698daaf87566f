#pragma once

// The link between the browser view's window and one browser host process: launching the host,
// the start-up handshake, the blocking page-source request, and the queue that turns the host's
// notifications into calls of the virtual hooks on thread-pool threads.

#include "controls/window.h"
#include "winbase/handles.h"
#include "winbase/lock.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// Texts from the host are UTF-16; on Windows wchar_t is the same 16-bit unit.
std::wstring_view as_wide(std::u16string_view text);
std::u16string to_u16(std::wstring_view text);

class BrowserHostLink : public ui::Window {
public:
    // How long get_page_source waits for the host's answer before it gives up with empty text,
    // unless the control is made with another wait.
    static constexpr DWORD kPageSourceTimeoutMs = 10000;
    // How long start_engine waits for the ready message from a host that still runs.
    static constexpr DWORD kEngineStartTimeoutMs = 60000;
    // How long a message sent to the host may take before the host counts as hung.
    static constexpr UINT kSendTimeoutMs = 10000;

    // The object lives while its window exists and while delivery work items still run; it
    // deletes itself when the last reference is dropped.
    void add_ref();
    void release();

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
    // Called while the window is being destroyed, before its children go.
    virtual void on_window_destroying() {}

    // Hooks, one per kind of notification. Those of queued notifications run on a thread-pool
    // thread, one at a time and in the host's order; new_window and context_menu run at once on
    // the window thread. Texts are valid only during the call.
    virtual void on_load_started(int /*view_id*/, std::u16string_view /*frame*/) {}
    virtual void on_load_finished(int /*view_id*/, std::u16string_view /*frame*/, int /*status*/) {}
    virtual void on_page_ready(int /*view_id*/) {}
    virtual void on_loading_state_changed(int /*view_id*/,
                                          bool /*is_loading*/,
                                          bool /*can_go_back*/,
                                          bool /*can_go_forward*/) {}
    virtual void on_view_created(int /*view_id*/) {}
    virtual void on_view_closing(int /*view_id*/) {}
    virtual bool on_new_window(int /*view_id*/,
                               std::u16string_view /*target_url*/,
                               std::u16string_view /*frame*/,
                               int /*disposition*/) {
        return false;
    }
    virtual void on_address_changed(int /*view_id*/, std::u16string_view /*text*/) {}
    virtual void on_title_changed(int /*view_id*/, std::u16string_view /*text*/) {}
    virtual void on_status_text_changed(int /*view_id*/, std::u16string_view /*text*/) {}
    virtual void on_console_message(int /*view_id*/, std::u16string_view /*text*/) {}
    virtual void on_resource_found(int /*view_id*/, int /*kind*/) {}
    virtual int on_context_menu(int /*view_id*/, bool /*in_editable*/, int /*menu_flags*/) { return 1; }
    virtual void on_key_event(int /*view_id*/, int /*key_type*/, int /*key_state*/, int /*key_code*/) {}

private:
    struct Notification {
        std::uint32_t kind = 0;
        std::uint32_t view_id = 0;
        std::u16string text;
        std::int32_t datum = 0;
    };

    enum class WaitEnd { signalled, host_gone, timed_out, quit };
    WaitEnd wait_dispatching(DWORD timeout_ms, bool watch_host_window);

    bool send_to_host(UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* answer = nullptr);
    bool send_copydata(std::uint32_t code, const void* data, std::size_t size);
    LRESULT on_copydata(const COPYDATASTRUCT& cds);
    bool handle_plain_notification(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    void watch_host_process();
    void stop_watching_host_process();
    static void CALLBACK host_process_ended(void* window, BOOLEAN timed_out);

    void queue(Notification n);
    static DWORD WINAPI deliver_work(void* self);
    void deliver_queued();
    void call_hook(const Notification& n);

    HWND host_window_ = nullptr;
    win::UniqueKernelHandle signal_;
    win::UniqueKernelHandle host_process_;
    HANDLE host_process_wait_ = nullptr;  // the registered wait for host_process_ to end
    win::Lock request_lock_;
    bool request_active_ = false;
    std::optional<std::u16string> pending_reply_;
    std::u16string reply_parts_;  // the page source's leading parts, while a request waits
    std::atomic<long> references_{0};
    bool creation_reference_ = false;

    win::Lock queue_lock_;
    std::deque<Notification> queue_;  // guarded by queue_lock_
    bool delivering_ = false;         // guarded by queue_lock_: a work item is draining the queue
};

}  // namespace quarnel
