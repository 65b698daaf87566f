#include "browserview/browser_view.h"

#include "core/host_protocol.h"
#include "winbase/text.h"

#include <variant>

namespace quarnel {

namespace be = browser_event;
namespace hp = host_protocol;
using win::as_wide;

namespace {

constexpr wchar_t kClassName[] = L"QuarnelBrowserView";

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};

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

// Calls a copy of the handler, so that set_events from inside it is harmless. Queued events
// have no answer.
template <typename Slot, typename... Args>
int BrowserView::raise(Slot BrowserViewEvents::*slot, Args... args) {
    if (Slot handler = events_.*slot)
        handler(args...);
    return 0;
}

// Each event to its handler, with its fields; the two raised at once give the host's answer.
int BrowserView::on_host_event(const BrowserEvent& event) {
    using E = BrowserViewEvents;
    return std::visit(
        Overloaded{
            [&](const be::ViewCreated& e) { return raise(&E::view_created, e.view_id); },
            [&](const be::ViewClosing& e) { return raise(&E::view_closing, e.view_id); },
            [&](const be::LoadStarted& e) { return raise(&E::load_started, e.view_id, as_wide(e.frame)); },
            [&](const be::LoadFinished& e) { return raise(&E::load_finished, e.view_id, as_wide(e.frame), e.status); },
            [&](const be::PageReady& e) { return raise(&E::page_ready, e.view_id); },
            [&](const be::LoadingStateChanged& e) {
                return raise(&E::loading_state_changed, e.view_id, e.state.is_loading, e.state.can_go_back,
                             e.state.can_go_forward);
            },
            [&](const be::NewWindow& e) {
                auto handler = events_.new_window;
                return handler && handler(e.view_id, as_wide(e.target_url), as_wide(e.frame), e.disposition) ? 1 : 0;
            },
            [&](const be::AddressChanged& e) { return raise(&E::address_changed, e.view_id, as_wide(e.address)); },
            [&](const be::TitleChanged& e) { return raise(&E::title_changed, e.view_id, as_wide(e.title)); },
            [&](const be::StatusTextChanged& e) {
                return raise(&E::status_text_changed, e.view_id, as_wide(e.status_text));
            },
            [&](const be::ConsoleMessage& e) { return raise(&E::console_message, e.view_id, as_wide(e.text)); },
            [&](const be::ResourceFound& e) { return raise(&E::resource_found, e.view_id, e.resource_kind); },
            [&](const be::ContextMenu& e) {
                raise(&E::context_menu, e.view_id, e.menu.in_editable, e.menu.menu_flags);
                return 1;
            },
            [&](const be::KeyEvent& e) {
                return raise(&E::key_event, e.view_id, e.key.key_type, e.key.key_state, e.key.key_code);
            },
        },
        event);
}

}  // namespace quarnel
