#pragma once

// The host's message window: it takes the browser view's commands, has the page engine carry
// them out, and reports the engine's events back to the browser view.

#include "controls/window.h"
#include "core/host_command_line.h"
#include "core/host_protocol.h"
#include "host/page_engine.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace quarnel::host {

class HostWindow final : public ui::Window, private EngineEvents {
public:
    HostWindow(const HostCommandLine& command_line, std::unique_ptr<PageEngine> engine);
    ~HostWindow() override;

    // Creates the window and tells the browser view that the host is ready. The thread's
    // message loop ends (WM_QUIT) once the browser view's window is gone.
    bool create();

    // Once the loop has ended: whether the engine's threads have all ended, within `grace_ms`.
    bool engine_threads_ended_within(unsigned grace_ms) { return engine_->threads_ended_within(grace_ms); }

private:
    struct PendingView {
        ViewSettings settings;
        std::wstring address;
    };

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void on_destroyed() override;

    // Commands of the browser view, one handler each.
    LRESULT take_copy_data(const COPYDATASTRUCT& data);
    void store_child_area(host_protocol::ByteSpan payload);
    void store_child_url(host_protocol::ByteSpan payload);
    LRESULT begin_child_view();
    void create_child_view();
    void navigate_view(host_protocol::ByteSpan payload);
    void answer_page_source(host_protocol::ByteSpan payload);
    void send_page_source(const std::optional<std::wstring>& source);
    void resize_views(int width, int height);
    void watch_browser_view();

    EngineView* find_view(uint32_t view_id) const;

    // EngineEvents: each becomes one notification to the browser view.
    void load_started(HWND view) override;
    void load_finished(HWND view, int status) override;
    void address_changed(HWND view, std::wstring_view address) override;
    void title_changed(HWND view, std::wstring_view title) override;
    void status_text_changed(HWND view, std::wstring_view text) override;
    void loading_state_changed(HWND view, bool is_loading, bool can_go_back, bool can_go_forward) override;
    void page_ready(HWND view) override;
    void console_message(HWND view, std::wstring_view text) override;
    void key_event(HWND view, int type, int state, int code) override;
    bool new_window(HWND view, std::wstring_view url, OpenDisposition disposition) override;
    void view_closing(HWND view) override;

    LRESULT send_payload(uint32_t code, const host_protocol::Bytes& payload);
    LRESULT send_notice(uint32_t code, WPARAM wp, LPARAM lp);
    void send_view_text(uint32_t code, HWND view, std::wstring_view text);

    HWND browser_view_;  // not owned: the window in the other process that gets every notification
    int32_t handler_;
    std::unique_ptr<PageEngine> engine_;
    ViewSettings next_settings_;
    bool has_area_ = false;
    std::wstring next_address_;
    std::deque<PendingView> pending_views_;
    std::vector<std::unique_ptr<EngineView>> views_;
    // Answers that come after the window is gone are dropped: they hold a weak reference to this.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host
