#include "host/host_window.h"

#include "host/page_decode.h"

#include <algorithm>

namespace quarnel::host {

namespace hp = host_protocol;

namespace {

// A child view is created once the command that asked for it has been answered, so the browser
// view is not inside its own SendMessage while the window is made and announced.
constexpr UINT kCreateViewMessage = WM_APP + 1;

// How often the host looks whether the browser view's window still exists; the host ends within
// one period after it is gone.
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchPeriodMs = 250;

uint32_t view_id_of(HWND view) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(view));
}

hp::ByteSpan bytes_of(const COPYDATASTRUCT& data) {
    // The payload is read within cbData and no further, whatever its content claims.
    if (!data.lpData || data.cbData == 0)
        return {};
    return hp::ByteSpan(static_cast<const uint8_t*>(data.lpData), data.cbData);
}

}  // namespace

HostWindow::HostWindow(const HostCommandLine& command_line, std::unique_ptr<PageEngine> engine)
    : browser_view_(reinterpret_cast<HWND>(static_cast<intptr_t>(command_line.view))),
      handler_(command_line.handler),
      engine_(std::move(engine)) {}

HostWindow::~HostWindow() {
    // The views' windows go before the engine whose resources they draw with.
    views_.clear();
    engine_->shut_down();
}

bool HostWindow::create() {
    WNDCLASSEXW wc{};
    wc.lpszClassName = L"QuarnelBrowserHost";
    if (!create_window(wc, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr))
        return false;
    SetTimer(hwnd(), kWatchTimer, kWatchPeriodMs, nullptr);
    // The handler number goes back unchanged: the browser view uses it to know which start this
    // answers.
    return PostMessageW(browser_view_, hp::kHostReady, reinterpret_cast<WPARAM>(hwnd()),
                        static_cast<LPARAM>(handler_)) != FALSE;
}

LRESULT HostWindow::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COPYDATA:
            return take_copy_data(*reinterpret_cast<const COPYDATASTRUCT*>(lp));
        case hp::kEngineReady:
            return 1;
        case hp::kCreateChild:
            return begin_child_view();
        case kCreateViewMessage:
            create_child_view();
            return 0;
        case hp::kResize:
            resize_views(static_cast<int>(wp), static_cast<int>(lp));
            return 0;
        case WM_TIMER:
            if (wp == kWatchTimer) {
                watch_browser_view();
                return 0;
            }
            break;
        case WM_DESTROY:
            KillTimer(hwnd(), kWatchTimer);
            PostQuitMessage(0);
            return 0;
    }
    return Window::handle_message(msg, wp, lp);
}

void HostWindow::on_destroyed() {
    views_.clear();
    engine_->shut_down();
}

LRESULT HostWindow::take_copy_data(const COPYDATASTRUCT& data) {
    hp::ByteSpan payload = bytes_of(data);
    switch (data.dwData) {
        case hp::kChildArea:
            store_child_area(payload);
            return 1;
        case hp::kChildUrl:
            store_child_url(payload);
            return 1;
        case hp::kNavigate:
            navigate_view(payload);
            return 1;
        case hp::kPageSource:
            answer_page_source(payload);
            return 1;
        default:
            return 0;
    }
}

void HostWindow::store_child_area(hp::ByteSpan payload) {
    std::optional<hp::ChildArea> area = hp::decode_child_area(payload);
    if (!area)
        return;
    next_settings_.parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(area->parent));
    next_settings_.area =
        RECT{area->x, area->y, area->x + std::max(area->width, 0), area->y + std::max(area->height, 0)};
    has_area_ = true;
}

void HostWindow::store_child_url(hp::ByteSpan payload) {
    next_address_ = to_wide(hp::decode_text(payload));
}

// Answers whether creation has begun: it has when an area with a live parent was given.
LRESULT HostWindow::begin_child_view() {
    if (!has_area_ || !IsWindow(next_settings_.parent))
        return 0;
    pending_views_.push_back(PendingView{next_settings_, next_address_});
    PostMessageW(hwnd(), kCreateViewMessage, 0, 0);
    return 1;
}

void HostWindow::create_child_view() {
    if (pending_views_.empty())
        return;
    PendingView pending = std::move(pending_views_.front());
    pending_views_.pop_front();
    std::unique_ptr<EngineView> view = engine_->create_view(pending.settings, *this);
    if (!view)
        return;
    EngineView& created = *view;
    views_.push_back(std::move(view));
    send_notice(hp::kViewCreated, 0, static_cast<LPARAM>(view_id_of(created.hwnd())));
    created.navigate(pending.address);
}

void HostWindow::navigate_view(hp::ByteSpan payload) {
    std::optional<hp::ViewText> command = hp::decode_view_text(payload);
    if (!command)
        return;
    if (EngineView* view = find_view(command->view_id))
        view->navigate(to_wide(command->text));
}

// Every request gets exactly one answer: the source as text, or a plain reply when there is
// none (an unknown view, no such frame, no page yet). The engine may answer later; the answer is
// sent whenever it comes, and the browser view takes it if its request still waits.
void HostWindow::answer_page_source(hp::ByteSpan payload) {
    std::optional<hp::PageSourceRequest> request = hp::decode_page_source_request(payload);
    EngineView* view = request ? find_view(request->view_id) : nullptr;
    if (!view) {
        send_notice(hp::kPageSource, 0, 0);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    view->request_page_source(to_wide(request->frame), [this, alive](std::optional<std::wstring> source) {
        if (!alive.expired())
            send_page_source(source);
    });
}

void HostWindow::send_page_source(const std::optional<std::wstring>& source) {
    if (!source) {
        send_notice(hp::kPageSource, 0, 0);
        return;
    }
    // The text ends at its first NUL, as one message's text would.
    std::u16string text = to_u16(*source);
    std::u16string_view rest(text.data(), std::min(text.find(u'\0'), text.size()));
    for (; rest.size() > hp::kMaxTextPartChars; rest.remove_prefix(hp::kMaxTextPartChars))
        send_payload(hp::kPageSourcePart, hp::encode_text(rest.substr(0, hp::kMaxTextPartChars)));
    send_payload(hp::kPageSource, hp::encode_text(rest));
}

void HostWindow::resize_views(int width, int height) {
    for (const auto& view : views_)
        view->resize(width, height);
}

void HostWindow::watch_browser_view() {
    if (!IsWindow(browser_view_)) {
        DestroyWindow(hwnd());
        return;
    }
    // Views whose window went with its parent are dropped.
    std::erase_if(views_, [](const std::unique_ptr<EngineView>& view) { return !IsWindow(view->hwnd()); });
}

EngineView* HostWindow::find_view(uint32_t view_id) const {
    for (const auto& view : views_) {
        if (view->hwnd() && view_id_of(view->hwnd()) == view_id)
            return view.get();
    }
    return nullptr;
}

// Notifications are sent, plain ones included: the browser view handles sent messages before
// posted ones, so a posted "view created" or "page ready" could overtake the sent texts around
// it and reach the application out of order.
LRESULT HostWindow::send_notice(uint32_t code, WPARAM wp, LPARAM lp) {
    return SendMessageW(browser_view_, code, wp, lp);
}

LRESULT HostWindow::send_payload(uint32_t code, const hp::Bytes& payload) {
    COPYDATASTRUCT data{};
    data.dwData = code;
    data.cbData = static_cast<DWORD>(payload.size());
    data.lpData = const_cast<uint8_t*>(payload.data());
    return SendMessageW(browser_view_, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd()), reinterpret_cast<LPARAM>(&data));
}

void HostWindow::send_view_text(uint32_t code, HWND view, std::wstring_view text) {
    send_payload(code, hp::encode_view_text(hp::ViewText{view_id_of(view), to_u16(text)}));
}

void HostWindow::load_started(HWND view) {
    send_view_text(hp::kLoadStarted, view, L"");
}

void HostWindow::load_finished(HWND view, int status) {
    send_payload(hp::kLoadFinished, hp::encode_load_finished(hp::LoadFinished{view_id_of(view), status, u""}));
}

void HostWindow::address_changed(HWND view, std::wstring_view address) {
    send_view_text(hp::kAddressChanged, view, address);
}

void HostWindow::title_changed(HWND view, std::wstring_view title) {
    send_view_text(hp::kTitleChanged, view, title);
}

void HostWindow::status_text_changed(HWND view, std::wstring_view text) {
    send_view_text(hp::kStatusTextChanged, view, text);
}

void HostWindow::console_message(HWND view, std::wstring_view text) {
    send_view_text(hp::kConsoleMessage, view, text);
}

void HostWindow::key_event(HWND view, int type, int state, int code) {
    uint32_t bits = hp::pack_key_event(hp::KeyEvent{type, state, code});
    send_notice(hp::kKeyEvent, reinterpret_cast<WPARAM>(view), static_cast<LPARAM>(bits));
}

void HostWindow::loading_state_changed(HWND view, bool is_loading, bool can_go_back, bool can_go_forward) {
    uint32_t bits = hp::pack_loading_state(hp::LoadingState{is_loading, can_go_back, can_go_forward});
    send_notice(hp::kLoadingStateChanged, reinterpret_cast<WPARAM>(view), static_cast<LPARAM>(bits));
}

void HostWindow::page_ready(HWND view) {
    send_notice(hp::kPageReady, 0, static_cast<LPARAM>(view_id_of(view)));
}

bool HostWindow::new_window(HWND view, std::wstring_view url, OpenDisposition disposition) {
    hp::NewWindow request{view_id_of(view), static_cast<int32_t>(disposition), u"", to_u16(url)};
    return send_payload(hp::kNewWindow, hp::encode_new_window(request)) != 0;
}

// Posted, unlike the other notifications: the view is going because its parent is being
// destroyed, and the browser view's thread is busy destroying it.
void HostWindow::view_closing(HWND view) {
    PostMessageW(browser_view_, hp::kViewClosing, 0, static_cast<LPARAM>(view_id_of(view)));
}

}  // namespace quarnel::host
