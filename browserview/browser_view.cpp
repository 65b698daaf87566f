#include "browserview/browser_view.h"

#include "core/host_protocol.h"
#include "winbase/text.h"

namespace quarnel {

namespace hp = host_protocol;
using win::as_wide;

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
        // Creation failed before the window took the object over at WM_CREATE.
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
    raise(&BrowserViewEvents::engine_terminated);
}

// Calls a copy of the handler, so that set_events from inside it is harmless.
template <typename Slot, typename... Args>
void BrowserView::raise(Slot BrowserViewEvents::*slot, Args... args) {
    if (Slot handler = events_.*slot)
        handler(args...);
}

int BrowserView::on_host_event(const BrowserEvent& e) {
    using Kind = BrowserEvent::Kind;
    const int view = e.view_id;
    switch (e.kind) {
        case Kind::kLoadStarted:
            raise(&BrowserViewEvents::load_started, view, as_wide(e.text));
            break;
        case Kind::kLoadFinished:
            raise(&BrowserViewEvents::load_finished, view, as_wide(e.text), e.number);
            break;
        case Kind::kPageReady:
            raise(&BrowserViewEvents::page_ready, view);
            break;
        case Kind::kLoadingStateChanged:
            raise(&BrowserViewEvents::loading_state_changed, view, e.loading.is_loading, e.loading.can_go_back,
                  e.loading.can_go_forward);
            break;
        case Kind::kViewCreated:
            raise(&BrowserViewEvents::view_created, view);
            break;
        case Kind::kViewClosing:
            raise(&BrowserViewEvents::view_closing, view);
            break;
        case Kind::kNewWindow: {
            auto handler = events_.new_window;
            return handler && handler(view, as_wide(e.target_url), as_wide(e.text), e.number) ? 1 : 0;
        }
        case Kind::kAddressChanged:
            raise(&BrowserViewEvents::address_changed, view, as_wide(e.text));
            break;
        case Kind::kTitleChanged:
            raise(&BrowserViewEvents::title_changed, view, as_wide(e.text));
            break;
        case Kind::kStatusTextChanged:
            raise(&BrowserViewEvents::status_text_changed, view, as_wide(e.text));
            break;
        case Kind::kConsoleMessage:
            raise(&BrowserViewEvents::console_message, view, as_wide(e.text));
            break;
        case Kind::kResourceFound:
            raise(&BrowserViewEvents::resource_found, view, e.number);
            break;
        case Kind::kContextMenu:
            raise(&BrowserViewEvents::context_menu, view, e.menu.in_editable, e.menu.menu_flags);
            return 1;
        case Kind::kKeyEvent:
            raise(&BrowserViewEvents::key_event, view, e.key.key_type, e.key.key_state, e.key.key_code);
            break;
    }
    return 0;
}

}  // namespace quarnel
