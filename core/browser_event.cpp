#include "core/browser_event.h"

#include <utility>

namespace quarnel {

namespace {

namespace be = browser_event;
namespace hp = host_protocol;
using Carrier = HostMessage::Carrier;
using Decoded = std::optional<BrowserEvent>;

// View ids travel as the 32 bits of the view's window handle.
int view_of(std::uint32_t bits) {
    return static_cast<int>(bits);
}

Decoded ignored(const HostMessage&) {
    return std::nullopt;
}

template <typename Event>
Decoded view_in_lparam(const HostMessage& m) {
    return Event{view_of(m.lparam)};
}

template <typename Event>
Decoded view_and_text(const HostMessage& m) {
    auto p = hp::decode_view_text(m.data);
    if (!p)
        return std::nullopt;
    return Event{view_of(p->view_id), std::move(p->text)};
}

Decoded plain_load_started(const HostMessage& m) {
    return be::LoadStarted{.view_id = view_of(m.wparam)};
}

Decoded loading_state(const HostMessage& m) {
    return be::LoadingStateChanged{view_of(m.wparam), hp::unpack_loading_state(m.lparam)};
}

Decoded resource_found(const HostMessage& m) {
    return be::ResourceFound{view_of(m.wparam), static_cast<int>(m.lparam)};
}

Decoded key_event(const HostMessage& m) {
    return be::KeyEvent{view_of(m.wparam), hp::unpack_key_event(m.lparam)};
}

Decoded context_menu(const HostMessage& m) {
    return be::ContextMenu{view_of(m.wparam), hp::unpack_context_menu(m.lparam)};
}

Decoded load_finished(const HostMessage& m) {
    auto p = hp::decode_load_finished(m.data);
    if (!p)
        return std::nullopt;
    return be::LoadFinished{view_of(p->view_id), std::move(p->frame), p->status};
}

Decoded new_window(const HostMessage& m) {
    auto p = hp::decode_new_window(m.data);
    if (!p)
        return std::nullopt;
    return be::NewWindow{view_of(p->view_id), std::move(p->target_url), std::move(p->frame), p->disposition};
}

constexpr NotificationRoute kRoutes[] = {
    {Carrier::kPlain, hp::kIgnoredNotice, false, &ignored},
    {Carrier::kPlain, hp::kLoadStarted, false, &plain_load_started},
    {Carrier::kPlain, hp::kViewCreated, false, &view_in_lparam<be::ViewCreated>},
    {Carrier::kPlain, hp::kViewClosing, false, &view_in_lparam<be::ViewClosing>},
    {Carrier::kPlain, hp::kPageReady, false, &view_in_lparam<be::PageReady>},
    {Carrier::kPlain, hp::kLoadingStateChanged, false, &loading_state},
    {Carrier::kPlain, hp::kResourceFound, false, &resource_found},
    {Carrier::kPlain, hp::kKeyEvent, false, &key_event},
    {Carrier::kPlain, hp::kContextMenu, true, &context_menu},
    {Carrier::kCopyData, hp::kLoadStarted, false, &view_and_text<be::LoadStarted>},
    {Carrier::kCopyData, hp::kLoadFinished, false, &load_finished},
    {Carrier::kCopyData, hp::kAddressChanged, false, &view_and_text<be::AddressChanged>},
    {Carrier::kCopyData, hp::kTitleChanged, false, &view_and_text<be::TitleChanged>},
    {Carrier::kCopyData, hp::kStatusTextChanged, false, &view_and_text<be::StatusTextChanged>},
    {Carrier::kCopyData, hp::kConsoleMessage, false, &view_and_text<be::ConsoleMessage>},
    {Carrier::kCopyData, hp::kNewWindow, true, &new_window},
};

}  // namespace

const NotificationRoute* find_notification_route(const HostMessage& message) {
    for (const NotificationRoute& route : kRoutes) {
        if (route.carrier == message.carrier && route.code == message.code)
            return &route;
    }
    return nullptr;
}

}  // namespace quarnel
