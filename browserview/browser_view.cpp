#include "browserview/browser_view.h"

#include "core/host_protocol.h"

#include <mutex>

namespace quarnel {

namespace hp = host_protocol;

namespace {

constexpr wchar_t kClassName[] = L"QuarnelBrowserView";

}  // namespace

BrowserView* BrowserView::create(const CreateArgs& args) {
    auto stored = hp::load_browser_view_properties(args.stored_properties);
    if (!stored)
        return nullptr;
    auto* view = new BrowserView();
    view->cache_ = std::move(stored->cache);
    view->user_agent_ = std::move(stored->user_agent);
    view->page_source_timeout_ms_ = args.page_source_timeout_ms;
    view->engine_watch_period_ms_ = args.engine_watch_period_ms;

    WNDCLASSEXW wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kClassName;
    HWND hwnd = view->create_window(wc, 0, L"", args.style | WS_CHILD | WS_CLIPSIBLINGS, args.x, args.y, args.width,
                                    args.height, args.parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)));
    if (!hwnd) {
        // Creation failed before WM_CREATE took the window's reference: nobody else holds one.
        delete view;
        return nullptr;
    }
    return view;
}

std::vector<std::uint8_t> BrowserView::saved_properties() const {
    return hp::save_browser_view_properties({cache_, user_agent_});
}

bool BrowserView::start_engine(std::string_view engine_folder, std::string_view extra) {
    return start_host(engine_folder, cache_, user_agent_, extra);
}

void BrowserView::destroy() {
    if (hwnd())
        DestroyWindow(hwnd());
}

BrowserViewEvents BrowserView::events() const {
    std::lock_guard hold(events_lock_);
    return events_;
}

void BrowserView::set_events(BrowserViewEvents events) {
    std::lock_guard hold(events_lock_);
    events_ = std::move(events);
}

LRESULT BrowserView::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            SetTimer(hwnd(), kEngineWatchTimer, engine_watch_period_ms_, nullptr);
            break;
        case WM_TIMER:
            if (wp == kEngineWatchTimer) {
                watch_engine();
                return 0;
            }
            break;
        case WM_SIZE:
            if (IsWindow(host_window()))
                PostMessageW(host_window(), hp::kResize, LOWORD(lp), HIWORD(lp));
            return 0;
        default:
            break;
    }
    return BrowserHostLink::handle_message(msg, wp, lp);
}

void BrowserView::watch_engine() {
    if (!host_window() || IsWindow(host_window()))
        return;
    forget_host();
    if (auto handler = handler_for(&BrowserViewEvents::engine_terminated))
        handler();
}

// No event reaches the owner once its control's window is gone. A handler already running on a
// pool thread is waited for, while the messages other threads send to this thread are still
// taken, so a handler that sends to the window thread cannot deadlock the destruction.
void BrowserView::on_window_destroying() {
    bool wait;
    {
        std::lock_guard hold(events_lock_);
        detached_ = true;
        wait = handler_running_;
    }
    HANDLE idle = handler_idle_.get();
    while (wait && idle) {
        DWORD woke = MsgWaitForMultipleObjects(1, &idle, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woke != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// A handler raised on the window thread: a copy, so that set_events from inside it is harmless.
template <typename Slot>
Slot BrowserView::handler_for(Slot BrowserViewEvents::*slot) {
    std::lock_guard hold(events_lock_);
    if (detached_)
        return {};
    return events_.*slot;
}

template <typename Slot, typename... Args>
void BrowserView::raise_pooled(Slot BrowserViewEvents::*slot, Args... args) {
    Slot handler;
    {
        std::lock_guard hold(events_lock_);
        if (detached_ || !(events_.*slot))
            return;
        handler = events_.*slot;
        handler_running_ = true;
        ResetEvent(handler_idle_.get());
    }
    handler(args...);
    {
        std::lock_guard hold(events_lock_);
        handler_running_ = false;
        SetEvent(handler_idle_.get());
    }
}

void BrowserView::on_load_started(int view_id, std::u16string_view frame) {
    raise_pooled(&BrowserViewEvents::load_started, view_id, as_wide(frame));
}

void BrowserView::on_load_finished(int view_id, std::u16string_view frame, int status) {
    raise_pooled(&BrowserViewEvents::load_finished, view_id, as_wide(frame), status);
}

void BrowserView::on_page_ready(int view_id) {
    raise_pooled(&BrowserViewEvents::page_ready, view_id);
}

void BrowserView::on_loading_state_changed(int view_id, bool is_loading, bool can_go_back, bool can_go_forward) {
    raise_pooled(&BrowserViewEvents::loading_state_changed, view_id, is_loading, can_go_back, can_go_forward);
}

void BrowserView::on_view_created(int view_id) {
    raise_pooled(&BrowserViewEvents::view_created, view_id);
}

void BrowserView::on_view_closing(int view_id) {
    raise_pooled(&BrowserViewEvents::view_closing, view_id);
}

bool BrowserView::on_new_window(int view_id,
                                std::u16string_view target_url,
                                std::u16string_view frame,
                                int disposition) {
    auto handler = handler_for(&BrowserViewEvents::new_window);
    return handler && handler(view_id, as_wide(target_url), as_wide(frame), disposition);
}

void BrowserView::on_address_changed(int view_id, std::u16string_view text) {
    raise_pooled(&BrowserViewEvents::address_changed, view_id, as_wide(text));
}

void BrowserView::on_title_changed(int view_id, std::u16string_view text) {
    raise_pooled(&BrowserViewEvents::title_changed, view_id, as_wide(text));
}

void BrowserView::on_status_text_changed(int view_id, std::u16string_view text) {
    raise_pooled(&BrowserViewEvents::status_text_changed, view_id, as_wide(text));
}

void BrowserView::on_console_message(int view_id, std::u16string_view text) {
    raise_pooled(&BrowserViewEvents::console_message, view_id, as_wide(text));
}

void BrowserView::on_resource_found(int view_id, int kind) {
    raise_pooled(&BrowserViewEvents::resource_found, view_id, kind);
}

int BrowserView::on_context_menu(int view_id, bool in_editable, int menu_flags) {
    if (auto handler = handler_for(&BrowserViewEvents::context_menu))
        handler(view_id, in_editable, menu_flags);
    return 1;
}

void BrowserView::on_key_event(int view_id, int key_type, int key_state, int key_code) {
    raise_pooled(&BrowserViewEvents::key_event, view_id, key_type, key_state, key_code);
}

}  // namespace quarnel
