#pragma once

// The embedded browser view: a control that drives a separate browser host process and raises
// the host's notifications as application events.

#include "browserview/browser_host_link.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// The application's handlers, one per event; an empty one is not called. Texts are valid only
// while the handler runs. Every handler runs on the window thread. Unless noted, events come one
// at a time and in the host's order, after the host's message that carried each has been
// answered: the host never waits for them.
struct BrowserViewEvents {
    std::function<void(int view_id)> view_created;
    std::function<void(int view_id)> view_closing;
    std::function<void(int view_id, std::wstring_view frame)> load_started;
    std::function<void(int view_id, std::wstring_view frame, int status)> load_finished;
    std::function<void(int view_id)> page_ready;
    std::function<void(int view_id, bool is_loading, bool can_go_back, bool can_go_forward)> loading_state_changed;
    // At once, inside the host's message. The answer goes to the host: true lets the window open.
    std::function<bool(int view_id, std::wstring_view target_url, std::wstring_view frame, int disposition)> new_window;
    std::function<void(int view_id, std::wstring_view address)> address_changed;
    std::function<void(int view_id, std::wstring_view title)> title_changed;
    std::function<void(int view_id, std::wstring_view status)> status_text_changed;
    std::function<void(int view_id, std::wstring_view console_text)> console_message;
    // The host's window disappeared.
    std::function<void()> engine_terminated;
    std::function<void(int view_id, int kind)> resource_found;
    // At once, inside the host's message.
    std::function<void(int view_id, bool in_editable, int menu_flags)> context_menu;
    std::function<void(int view_id, int key_type, int key_state, int key_code)> key_event;
};

class BrowserView : public BrowserHostLink {
public:
    // The engine watch looks this often whether the host's window still exists.
    static constexpr UINT_PTR kEngineWatchTimer = 37122;
    static constexpr UINT kEngineWatchPeriodMs = 3000;

    struct CreateArgs {
        HWND parent = nullptr;
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        DWORD style = WS_VISIBLE;  // WS_CHILD and WS_CLIPSIBLINGS are always added
        int id = 0;
        // The stored properties (see saved_properties); empty gives the defaults.
        std::span<const std::uint8_t> stored_properties{};
        // How long get_page_source waits for the host's answer, and how often the engine watch
        // looks for the host's window. Tests shorten them to see the ends of these waits quickly.
        DWORD page_source_timeout_ms = kPageSourceTimeoutMs;
        UINT engine_watch_period_ms = kEngineWatchPeriodMs;
    };

    // Creates the control as a child of args.parent. Null when the stored properties cannot be
    // read (a later version is refused) or the window cannot be made. The pointer is not owned by
    // the caller: the control lives as long as its window (and until a handler that runs when the
    // window goes has returned).
    static BrowserView* create(const CreateArgs& args);

    // The cache folder and the user-agent text (8-bit ANSI), handed to the host at the next
    // start_engine.
    const std::string& cache() const { return cache_; }
    void set_cache(std::string cache) { cache_ = std::move(cache); }
    const std::string& user_agent() const { return user_agent_; }
    void set_user_agent(std::string user_agent) { user_agent_ = std::move(user_agent); }
    // The stored form of the two properties.
    std::vector<std::uint8_t> saved_properties() const;

    // Launches the host program in `engine_folder` with `extra` appended to its command line and
    // waits for it to report ready. False when it cannot be launched or ends before it is ready.
    bool start_engine(std::string_view engine_folder, std::string_view extra);

    void destroy();

    // The handlers. Replacing them from inside a handler is safe.
    const BrowserViewEvents& events() const { return events_; }
    void set_events(BrowserViewEvents events) { events_ = std::move(events); }

protected:
    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void on_host_process_ended() override { watch_engine(); }

    int on_host_event(const BrowserEvent& event) override;

private:
    BrowserView() = default;
    ~BrowserView() override = default;

    void watch_engine();
    template <typename Slot, typename... Args>
    int raise(Slot BrowserViewEvents::*slot, Args... args);

    std::string cache_;
    std::string user_agent_;
    UINT engine_watch_period_ms_ = kEngineWatchPeriodMs;
    BrowserViewEvents events_;
};

}  // namespace quarnel
