#pragma once

// The browser engine as the program keeps it: the host started at start-up and its one child
// view, the pages are shown in; and a host that ends is started again with a new child view that
// shows the page shown before, a few times a minute at most.

#include "app/page_engine.h"
#include "core/restart_budget.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quarnel {

class BrowserView;

class EngineKeeper : public PageEngine {
public:
    // The page a new view shows after a restart (8-bit ANSI).
    std::function<std::string()> page_to_show;
    // The host kept ending and is not started again.
    std::function<void()> on_given_up;

    // `clock`: milliseconds on a wrapping 32-bit clock, GetTickCount unless a test gives another.
    explicit EngineKeeper(std::wstring runtime_dir, std::function<std::uint32_t()> clock = nullptr)
        : runtime_dir_(std::move(runtime_dir)), clock_(std::move(clock)) {}

    // The view the engine runs in; set once the control exists. Not owned.
    void attach(BrowserView* view) { view_ = view; }

    // Window thread: starts the host with `cache_dir` (8-bit ANSI) as its cache folder, kept for
    // every restart, and asks it for a child view showing `url`. False when the host could not
    // be started; the view then stays blank.
    bool start(const std::string& cache_dir, const std::string& url);
    // Window thread: the host's window disappeared.
    void host_ended();
    // Window thread: the host announced the child view, and a view finished loading a page.
    void view_created(int view_id);
    void page_loaded(int view_id);

    // The page engine, on the child view. page_source dispatches messages while it waits.
    void navigate(const std::string& url) override;
    std::optional<std::string> page_source() override;

    // The child view pages are shown in, 0 while there is none.
    int view_id() const { return view_id_; }
    // Whether a page can be shown now: a live host with its child view.
    bool showing() const override;
    // Whether the host is gone or starting and is expected back soon: pages are held until then.
    // A new view counts as started once it finished loading its first page (a browser behind it
    // may still be starting); a host that makes no view or a view that loads nothing holds pages
    // for kFirstPageWaitMs at most.
    bool recovering() const override;

    static constexpr std::uint32_t kFirstPageWaitMs = 15000;

private:
    bool launch(const std::string& url);

    std::uint32_t now() const;

    std::wstring runtime_dir_;
    std::function<std::uint32_t()> clock_;
    BrowserView* view_ = nullptr;
    int view_id_ = 0;
    std::uint32_t waiting_since_ = 0;  // the launch, then the view's creation
    bool first_page_loaded_ = false;
    bool started_once_ = false;
    bool restarting_ = false;
    bool given_up_ = false;
    RestartBudget restarts_{3, 60000};
};

}  // namespace quarnel
