#pragma once

// The browser engine's supervisor, as its views see it (chromium_view.cpp).

#include "controls/window.h"
#include "devtools/browser_identity.h"
#include "host/chromium/browser_process.h"
#include "host/chromium/chromium_engine.h"
#include "core/restart_budget.h"
#include "host/chromium/devtools_link.h"

namespace quarnel::host {

class ChromiumView;

class ChromiumEngine final : public PageEngine, private ui::Window {
public:
    explicit ChromiumEngine(ChromiumOptions options);
    ~ChromiumEngine() override;

    bool start();
    std::unique_ptr<EngineView> create_view(const ViewSettings& settings, EngineEvents& events) override;
    void shut_down() override;
    bool threads_ended_within(unsigned grace_ms) override {
        return !builtin_ || builtin_->threads_ended_within(grace_ms);
    }
    const wchar_t* name() const override { return builtin_ ? builtin_->name() : L"chromium"; }

    // The connection to the browser; null while no browser answers.
    DevToolsLink* link() const { return link_ && link_->open() ? link_.get() : nullptr; }
    // What the pages are told of the browser, once the browser answered and said it; views
    // open their pages only then.
    const devtools::BrowserIdentity* identity() const { return link() && identity_ ? &*identity_ : nullptr; }
    // The languages the pages are offered ("zh-CN,zh"); empty: the browser's own.
    const std::string& languages() const { return languages_; }
    const Desktop& desktop() const { return options_.desktop; }
    // What the engine, its link and its views time things by.
    const TickClock& clock() const { return options_.clock; }
    unsigned navigations_per_page() const { return options_.navigations_per_page; }
    // Adds a line to the engine's account of its views' pictures in the cache folder.
    void log_frames(const std::wstring& line);
    void forget(ChromiumView* view) { std::erase(views_, view); }

private:
    // The browser is closed and started again with the user agent it was found to have; handled
    // outside the link's own call, as the link goes.
    static constexpr UINT kRelaunchWithAgentMessage = WM_APP + 3;
    // The browser's identity is read in a page of its own DevTools server, a secure origin where
    // the page's client hints can be read; asked again on this timer until the page has loaded.
    static constexpr UINT_PTR kIdentityTimer = 3;
    // The browser's own user agent as last learned, in the cache folder: the browser's program,
    // its product and version, and the user agent, a line each.
    static constexpr wchar_t kLearnedAgentFile[] = L"\\host-browser-agent.txt";

    LRESULT handle_message(UINT msg, WPARAM wp, LPARAM lp) override;
    void launch();
    void relaunch_when_due();
    void look_for_port();
    bool connect(const devtools::ActivePort& port);
    void ask_identity();
    void identity_known(std::string high_entropy_json);
    void learn_agent(const std::string& agent);
    void connection_lost();
    void launch_failed(const std::wstring& why);
    void set_profile_aside(const std::wstring& why);
    void browser_ended(const std::wstring& why);
    void give_up(const std::wstring& why);
    void on_event(const Message& event);
    void write_log(const std::wstring& last_line);

    ChromiumOptions options_;
    size_t candidate_ = 0;            // the browser of options_.browsers now tried
    std::wstring base_;               // the cache folder
    std::wstring profile_;            // the lasting profile folder
    bool profile_was_used_ = false;   // by an earlier browser, when the launch under way began
    bool profile_retried_ = false;    // a launch with it failed and was tried again
    std::uint32_t lock_seen_at_ = 0;  // when a launch first found the profile held by another browser
    std::uint32_t retry_since_ = 0;   // when a launch with a used profile failed, to be tried once more
    int launches_ = 0;
    std::string languages_;
    std::optional<devtools::BrowserIdentity> identity_;
    // The page the browser's identity is read in, its session, and the browser's user agent.
    std::string probe_target_, probe_session_, probe_agent_, probe_product_;
    struct LearnedAgent {
        std::string browser, product, agent;
    };
    std::optional<LearnedAgent> learned_;
    bool learned_agent_used_ = false;    // by the launch under way
    bool relaunched_for_agent_ = false;  // once, to give the browser its user agent
    std::uint32_t closing_since_ = 0;    // when the browser was asked to close for that
    int probe_attempts_ = 0;
    BrowserProcess browser_;
    std::uint32_t launched_at_ = 0;
    int connected_port_ = 0;
    bool connected_once_ = false;
    // A browser that ends again and again is started at most 3 times a minute, then given up.
    RestartBudget restarts_{3, 60000};
    std::unique_ptr<DevToolsLink> link_;
    std::unique_ptr<PageEngine> builtin_;  // once the browser was given up
    std::vector<ChromiumView*> views_;     // not owned: the host owns the views
    std::wstring log_;                     // the browsers not used, and why
    bool ended_ = false;
};

}  // namespace quarnel::host
