#pragma once

// One child view of the browser engine: a window of the host that shows one page target of the
// browser. It follows its page (navigation, source, events), answers the page's dialogs, and
// when the page stops answering or its renderer dies, it ends that page and goes on with a fresh
// one. When the browser is given up, the built-in engine shows the view's pages instead.

#include "controls/window.h"
#include "devtools/devtools_page.h"
#include "host/mirror_window.h"
#include "host/chromium/page_channel.h"
#include "host/chromium/page_dialog.h"
#include "host/page_engine.h"
#include "host/chromium/view_input.h"
#include "host/chromium/view_picture.h"
#include "host/chromium/view_popups.h"
#include "host/chromium/view_source.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quarnel::host {

class ChromiumEngine;

class ChromiumView final : public EngineView, private ui::Window, private PageChannel, private EngineEvents {
public:
    ChromiumView(ChromiumEngine& engine, EngineEvents& events) : engine_(engine), events_(events) {}
    ~ChromiumView() override;

    bool create(const ViewSettings& settings);
    HWND hwnd() const override { return Window::hwnd(); }
    void navigate(std::wstring_view address) override;
    void request_page_source(std::wstring_view frame, SourceAnswer answer) override;
    void resize(int width, int height) override;

    // The engine's calls. The browser answers: the view opens a fresh page (its first, or one
    // in place of a page the browser lost) and carries out what waited for it.
    void open_page();
    // The browser is gone: the load under way ends as failed; the page is forgotten.
    void page_lost(bool load_goes_on = false);
    // The browser was given up: from now on the built-in engine shows the view's pages.
    void use_builtin(PageEngine& builtin);

    const std::string& session() const { return session_; }
    const std::string& target() const { return target_; }
    // An event of the page's session, or of the browser's about any target.
    void on_event(const Message& event);
    // A pop-up target the page opened: closed a moment later, once the browser has told of it
    // (Page.windowOpen), which it may not do for a target already closed. When it did not tell,
    // the pop-up's address is offered as a new window then.
    void close_popup_later(std::string target, std::string address);
    void popup_address(const std::string& target, const std::string& address);

private:
    // The view's own scripts run in a world of their own beside each document, where the page's
    // scripts cannot see them: they share its document, not its globals. There they call these
    // bindings with the address of the link under the mouse, the pointer shape the page asks
    // for, and the document's title as a script changes it.
    static constexpr char kWorld[] = "view";
    static constexpr char kStatusBinding[] = "status";
    static constexpr char kCursorBinding[] = "cursor";
    static constexpr char kTitleBinding[] = "title";

    enum class Watch {
        kNone,
        kStart,     // a navigation was asked for and has not begun
        kResponse,  // it has begun and waits for the server (which may take its time)
        kCommit,    // its document arrived and the page has not taken it
    };

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void attached(std::string target, std::string session);
    DevToolsLink::Reply opening_step(std::optional<std::string> made, std::function<void(const Message*)> step);
    void close_target();
    void close_page(bool load_goes_on = false);
    void report_whole_load(int status);
    void replace_page(std::optional<std::wstring> then_open);
    void report(const std::vector<devtools::PageNotice>& notices);
    void ask_history_if_wanted();
    void go_to(std::wstring_view address);
    // Makes the navigation to `address` in a fresh page in place of this one.
    void renew_page(std::wstring_view address);
    bool drop_load_under_way();
    // Whether the page shows the blank document it opened with, not one it was sent to.
    bool shows_placeholder() const;
    bool may_follow_window();
    void watch(Watch what);
    void watch_timed_out();
    void renderer_died();
    void show_later();
    bool size_window(int width, int height, DevToolsLink::Reply done = {});

    // PageChannel: the picture and the input send their commands on the page's session.
    bool has_page() const override { return tracker_.has_value(); }
    void command(const std::string& method, const Params& params = Params(), DevToolsLink::Reply reply = {}) override;

    // EngineEvents of the built-in view that stands in for the browser: each is reported as
    // this view's.
    void load_started(HWND) override { events_.load_started(hwnd()); }
    void load_finished(HWND, int status) override { events_.load_finished(hwnd(), status); }
    void address_changed(HWND, std::wstring_view a) override { events_.address_changed(hwnd(), a); }
    void title_changed(HWND, std::wstring_view t) override { events_.title_changed(hwnd(), t); }
    void status_text_changed(HWND, std::wstring_view t) override { events_.status_text_changed(hwnd(), t); }
    void loading_state_changed(HWND, bool loading, bool back, bool forward) override {
        events_.loading_state_changed(hwnd(), loading, back, forward);
    }
    void page_ready(HWND) override { events_.page_ready(hwnd()); }
    void console_message(HWND, std::wstring_view t) override { events_.console_message(hwnd(), t); }
    void key_event(HWND, int type, int state, int code) override { events_.key_event(hwnd(), type, state, code); }
    bool new_window(HWND, std::wstring_view url, OpenDisposition d) override {
        return events_.new_window(hwnd(), url, d);
    }
    void view_closing(HWND) override {}

    ChromiumEngine& engine_;
    EngineEvents& events_;
    std::unique_ptr<MirrorWindow> mirror_;
    std::optional<ViewPicture> picture_;
    std::optional<ViewInput> input_;
    std::optional<ViewSource> source_;
    std::optional<PageDialogs> dialogs_;
    std::optional<ViewPopups> popups_;
    std::unique_ptr<EngineView> builtin_;  // the built-in engine's view, once the browser was given up

    // The page: its target, session and the browser's window for it. Replies about an earlier
    // page are told apart by `page_number_`.
    std::string target_, session_;
    std::optional<long long> window_id_;
    unsigned page_number_ = 0;
    bool opening_ = false;
    bool set_up_ = false;  // the page's session took the view's settings and scripts
    std::optional<devtools::PageTracker> tracker_;
    std::optional<std::wstring> pending_address_;  // asked for before the page was ready
    std::wstring last_address_;                    // of the last navigation asked for
    bool load_began_ = false;                      // since the last navigate
    bool answered_ = true;                         // the page answered the last check_answers()
    bool unshown_ = false;                         // the last navigation asked for brought no document yet
    std::string document_request_;                 // the main frame's last document request
    Watch watch_ = Watch::kNone;
    bool retried_ = false;      // the page was replaced to load `last_address_` once already (a hang, a crash)
    unsigned navigations_ = 0;  // asked of the page since it opened

    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host
