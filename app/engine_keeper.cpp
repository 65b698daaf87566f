#include "app/engine_keeper.h"

#include "browserview/browser_view.h"
#include "winbase/text.h"

namespace quarnel {

void EngineKeeper::view_created(int view_id) {
    first_page_loaded_ = false;
    waiting_since_ = now();
    view_id_ = view_id;
}

void EngineKeeper::page_loaded(int view_id) {
    if (view_id == view_id_)
        first_page_loaded_ = true;
}

bool EngineKeeper::launch(const std::string& url) {
    view_id_ = 0;
    first_page_loaded_ = false;
    waiting_since_ = now();
    // The cache folder and user agent are the view's own properties: a new host gets the same.
    if (!view_ || !view_->start_engine(win::wide_to_ansi(runtime_dir_), ""))
        return false;
    view_->engine_ready();
    view_->create_child_view(url);
    return true;
}

bool EngineKeeper::start(const std::string& cache_dir, const std::string& url) {
    if (view_)
        view_->set_cache(cache_dir);
    started_once_ = launch(url);
    return started_once_;
}

std::uint32_t EngineKeeper::now() const {
    return clock_ ? clock_() : GetTickCount();
}

void EngineKeeper::host_ended() {
    // The start below dispatches messages, so the engine watch may report again from inside it.
    if (restarting_ || given_up_)
        return;
    restarting_ = true;
    view_id_ = 0;
    bool started = false;
    // A host that ends before it is ready is started again at once, within the same budget. A
    // host that ends after it was ready is reported again by the engine watch.
    while (!started && restarts_.take(now()))
        started = launch(page_to_show ? page_to_show() : std::string());
    restarting_ = false;
    if (started)
        return;
    given_up_ = true;
    if (on_given_up)
        on_given_up();
}

void EngineKeeper::navigate(const std::string& url) {
    if (view_)
        view_->navigate(view_id_, url);
}

std::optional<std::string> EngineKeeper::page_source() {
    return view_ ? view_->page_source_answer(view_id_, "", false) : std::nullopt;
}

bool EngineKeeper::showing() const {
    return view_ && !restarting_ && IsWindow(view_->host_window()) && view_id_ != 0 &&
           IsWindow(window_of_view(view_id_));
}

bool EngineKeeper::recovering() const {
    if (!started_once_ || given_up_ || !view_)
        return false;
    if (restarting_ || !IsWindow(view_->host_window()))
        return true;
    if (view_id_ != 0 && first_page_loaded_)
        return false;
    // A host that never makes its view, or a view that never finishes a page, holds the pass no
    // longer than this.
    return now() - waiting_since_ < kFirstPageWaitMs;
}

}  // namespace quarnel
