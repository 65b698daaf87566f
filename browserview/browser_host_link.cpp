#include "browserview/browser_host_link.h"

#include "core/host_command_line.h"
#include "core/host_protocol.h"
#include "winbase/text.h"

#include <algorithm>
#include <utility>

namespace quarnel {

namespace hp = host_protocol;

using win::as_wide;
using win::to_u16;

HWND window_of_view(int view_id) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(view_id)));
}

namespace {

// How often a wait looks whether the host's window still exists.
constexpr DWORD kWaitSliceMs = 250;
// Posted to the control's window by the pool when the host process ends. Outside the host's
// message numbers.
constexpr UINT kHostProcessEnded = WM_APP + 0x100;
// Posted to the control's own window to deliver the queued notifications: after the message that
// carried them has been answered, so that the host never waits for a handler.
constexpr UINT kDeliverQueued = WM_APP + 0x101;

hp::ByteSpan payload_of(const COPYDATASTRUCT& cds) {
    if (!cds.lpData)
        return {};
    return {static_cast<const std::uint8_t*>(cds.lpData), cds.cbData};
}

std::uint32_t handle_bits(HWND hwnd) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd));
}

}  // namespace

BrowserHostLink::~BrowserHostLink() {
    stop_watching_host_process();
}

bool BrowserHostLink::start_host(std::string_view folder,
                                 const std::string& cache,
                                 const std::string& user_agent,
                                 std::string_view extra) {
    if (!signal_) {
        signal_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!signal_)
            return false;
    }
    std::string command_line = build_host_command_line(
        {static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(signal_.get())),
         static_cast<std::int32_t>(handle_bits(hwnd())), cache, user_agent, std::string(extra)});
    ResetEvent(signal_.get());

    std::string program = std::string(folder) + "\\" + win::wide_to_ansi(kHostProgramName);
    std::string working_dir(folder);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        working_dir.empty() ? nullptr : working_dir.c_str(), &startup, &process))
        return false;
    CloseHandle(process.hThread);
    // The process handle is kept so that the waits end when the host dies, and so that its end
    // is known at once rather than at the next look for its window.
    stop_watching_host_process();
    host_process_.reset(process.hProcess);
    watch_host_process();

    return wait_dispatching(kEngineStartTimeoutMs, false) == WaitEnd::signalled;
}

void BrowserHostLink::watch_host_process() {
    if (host_process_ && !RegisterWaitForSingleObject(&host_process_wait_, host_process_.get(), &host_process_ended,
                                                      hwnd(), INFINITE, WT_EXECUTEONLYONCE))
        host_process_wait_ = nullptr;
}

void BrowserHostLink::stop_watching_host_process() {
    // Waits for a callback under way; it only posts a message, so this cannot deadlock.
    if (host_process_wait_)
        UnregisterWaitEx(std::exchange(host_process_wait_, nullptr), INVALID_HANDLE_VALUE);
}

void CALLBACK BrowserHostLink::host_process_ended(void* window, BOOLEAN) {
    PostMessageW(static_cast<HWND>(window), kHostProcessEnded, 0, 0);
}

BrowserHostLink::WaitEnd BrowserHostLink::wait_dispatching(DWORD timeout_ms, bool watch_host_window) {
    HANDLE handles[2] = {signal_.get(), host_process_.get()};
    DWORD count = host_process_ ? 2 : 1;
    DWORD start = GetTickCount();
    for (;;) {
        // The reply may have come together with the host's end; it counts.
        if (WaitForSingleObject(signal_.get(), 0) == WAIT_OBJECT_0)
            return WaitEnd::signalled;
        if (host_process_ && WaitForSingleObject(host_process_.get(), 0) == WAIT_OBJECT_0)
            return WaitEnd::host_gone;
        if (watch_host_window && !IsWindow(host_window_))
            return WaitEnd::host_gone;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout_ms)
            return WaitEnd::timed_out;
        DWORD slice = std::min(timeout_ms - elapsed, kWaitSliceMs);

        DWORD woke = MsgWaitForMultipleObjects(count, handles, FALSE, slice, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + count)
            continue;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The program is ending: stop waiting, and leave the quit request for the
                // program's own message loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return WaitForSingleObject(signal_.get(), 0) == WAIT_OBJECT_0 ? WaitEnd::signalled : WaitEnd::quit;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            if (WaitForSingleObject(signal_.get(), 0) == WAIT_OBJECT_0)
                break;
        }
    }
}

bool BrowserHostLink::send_to_host(UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* answer) {
    DWORD_PTR result = 0;
    bool sent = host_window_ &&
                SendMessageTimeoutW(host_window_, msg, wp, lp, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    if (answer)
        *answer = sent ? result : 0;
    return sent;
}

bool BrowserHostLink::send_copydata(std::uint32_t code, const void* data, std::size_t size) {
    COPYDATASTRUCT cds{code, static_cast<DWORD>(size), const_cast<void*>(data)};
    return send_to_host(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
}

int BrowserHostLink::engine_ready() {
    DWORD_PTR answer = 0;
    send_to_host(hp::kEngineReady, 0, 0, &answer);
    return static_cast<int>(answer);
}

bool BrowserHostLink::create_child_view(std::string_view url) {
    if (!host_window_)
        return false;
    RECT client{};
    GetClientRect(hwnd(), &client);
    hp::Bytes area = hp::encode_child_area({0, 0, client.right, client.bottom, handle_bits(hwnd())});
    send_copydata(hp::kChildArea, area.data(), area.size());
    hp::Bytes text = hp::encode_text(to_u16(win::ansi_to_wide(url)));
    send_copydata(hp::kChildUrl, text.data(), text.size());
    DWORD_PTR answer = 0;
    send_to_host(hp::kCreateChild, 0, 0, &answer);
    return answer != 0;
}

void BrowserHostLink::navigate(int view_id, std::string_view url) {
    if (!IsWindow(host_window_) || !IsWindow(window_of_view(view_id)))
        return;
    std::u16string wide = to_u16(win::ansi_to_wide(url));
    if (wide.empty())
        return;
    hp::Bytes payload = hp::encode_view_text({static_cast<std::uint32_t>(view_id), wide});
    send_copydata(hp::kNavigate, payload.data(), payload.size());
}

std::string BrowserHostLink::get_page_source(int view_id, std::string_view frame, bool frame_flag) {
    return page_source_answer(view_id, frame, frame_flag).value_or(std::string());
}

std::optional<std::string> BrowserHostLink::page_source_answer(int view_id, std::string_view frame, bool frame_flag) {
    if (!IsWindow(host_window_) || !IsWindow(window_of_view(view_id)) || request_active_)
        return std::nullopt;
    hp::Bytes payload = hp::encode_page_source_request(
        {static_cast<std::uint32_t>(view_id), frame_flag ? 1u : 0u, to_u16(win::ansi_to_wide(frame))});

    request_active_ = true;
    ResetEvent(signal_.get());
    // A reply that came while nobody asked belongs to no request.
    pending_reply_.reset();
    reply_parts_.clear();
    if (send_copydata(hp::kPageSource, payload.data(), payload.size()))
        wait_dispatching(page_source_timeout_ms_, true);
    std::optional<std::u16string> reply = std::exchange(pending_reply_, std::nullopt);
    request_active_ = false;
    if (!reply)
        return std::nullopt;
    return win::wide_to_ansi(as_wide(*reply));
}

LRESULT BrowserHostLink::handle_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            owned_by_window_ = true;
            return 0;
        case WM_DESTROY:
            stop_watching_host_process();
            return 0;
        case kHostProcessEnded:
            on_host_process_ended();
            return 0;
        case kDeliverQueued:
            deliver_queued();
            return 0;
        case WM_COPYDATA:
            if (lp) {
                if (std::optional<LRESULT> result = on_copydata(*reinterpret_cast<const COPYDATASTRUCT*>(lp)))
                    return *result;
            }
            break;
        case hp::kHostReady:
            // Any program can post this message; only the number this control handed to its own
            // host is taken as the handshake.
            if (signal_ && lp == reinterpret_cast<LPARAM>(signal_.get())) {
                host_window_ = reinterpret_cast<HWND>(wp);
                SetEvent(signal_.get());
            }
            return 0;
        default: {
            if (hp::is_reply_code(msg) && msg != hp::kReply8868) {
                if (signal_)
                    SetEvent(signal_.get());
                return 0;
            }
            HostMessage plain{.carrier = HostMessage::Carrier::kPlain,
                              .code = msg,
                              .wparam = static_cast<std::uint32_t>(wp),
                              .lparam = static_cast<std::uint32_t>(lp)};
            if (std::optional<LRESULT> result = take_notification(plain))
                return *result;
            break;
        }
    }
    return ui::Window::handle_message(msg, wp, lp);
}

// No queued event reaches the owner once the window is gone.
void BrowserHostLink::on_destroyed() {
    queue_.clear();
    if (owned_by_window_ && hooks_running_ == 0)
        delete this;
}

// The answer to a WM_COPYDATA from the host; nothing for a code this control does not take.
std::optional<LRESULT> BrowserHostLink::on_copydata(const COPYDATASTRUCT& cds) {
    hp::ByteSpan data = payload_of(cds);
    auto code = static_cast<std::uint32_t>(cds.dwData);
    if (code == hp::kPageSourcePart) {
        if (request_active_)
            reply_parts_ += hp::decode_text(data);
        return 0;
    }
    if (hp::is_reply_code(code)) {
        pending_reply_ = std::exchange(reply_parts_, {}) + hp::decode_text(data);
        if (signal_)
            SetEvent(signal_.get());
        return 0;
    }
    return take_notification({.carrier = HostMessage::Carrier::kCopyData, .code = code, .data = data});
}

// Decodes a notification once and queues its event, or raises it at once and answers with the
// hook's answer. Nothing for a message that is no notification.
std::optional<LRESULT> BrowserHostLink::take_notification(const HostMessage& message) {
    const NotificationRoute* route = find_notification_route(message);
    if (!route)
        return std::nullopt;
    std::optional<BrowserEvent> event = route->decode(message);
    if (!event)
        return 0;
    if (route->at_once)
        return raise_at_once(*event);
    queue(std::move(*event));
    return 0;
}

void BrowserHostLink::queue(BrowserEvent event) {
    queue_.push_back(std::move(event));
    post_delivery();
}

// One message delivers every record queued by then; a failed post is tried again with the next
// record.
void BrowserHostLink::post_delivery() {
    if (!delivery_posted_ && !queue_.empty() && hwnd())
        delivery_posted_ = PostMessageW(hwnd(), kDeliverQueued, 0, 0) != FALSE;
}

// Delivers the records one at a time, in the host's order. Never while a hook runs: a handler
// that dispatches messages gets no other event inside it, and one raised at once, whose host
// waits for its answer, never makes the host wait for the queue. The loop of the running hook
// goes on after it, or the end of the hook raised at once posts the delivery again.
void BrowserHostLink::deliver_queued() {
    delivery_posted_ = false;
    if (hooks_running_ > 0)
        return;
    while (!queue_.empty()) {
        BrowserEvent event = std::move(queue_.front());
        queue_.pop_front();
        int answer = 0;
        if (!run_hook(event, answer))
            return;
    }
}

LRESULT BrowserHostLink::raise_at_once(const BrowserEvent& event) {
    int answer = 0;
    if (run_hook(event, answer))
        post_delivery();
    return answer;
}

// False when the window went during the hook and this object with it: the caller must not touch
// the object any more.
bool BrowserHostLink::run_hook(const BrowserEvent& event, int& answer) {
    ++hooks_running_;
    answer = on_host_event(event);
    if (--hooks_running_ == 0 && !hwnd()) {
        delete this;
        return false;
    }
    return true;
}

}  // namespace quarnel
