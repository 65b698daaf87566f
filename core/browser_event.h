#pragma once

// The host's notifications as the browser view raises them: one record per kind with named
// fields, and the table that says which message of the host carries which record, how it is
// decoded, and whether it is raised at once inside its message or queued.

#include "core/host_protocol.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace quarnel {

namespace browser_event {

struct ViewCreated {
    int view_id = 0;
    bool operator==(const ViewCreated&) const = default;
};
struct ViewClosing {
    int view_id = 0;
    bool operator==(const ViewClosing&) const = default;
};
struct LoadStarted {
    int view_id = 0;
    std::u16string frame{};  // empty when the plain notification carried none
    bool operator==(const LoadStarted&) const = default;
};
struct LoadFinished {
    int view_id = 0;
    std::u16string frame{};
    int status = 0;
    bool operator==(const LoadFinished&) const = default;
};
struct PageReady {
    int view_id = 0;
    bool operator==(const PageReady&) const = default;
};
struct LoadingStateChanged {
    int view_id = 0;
    host_protocol::LoadingState state{};
    bool operator==(const LoadingStateChanged&) const = default;
};
struct NewWindow {
    int view_id = 0;
    std::u16string target_url{};
    std::u16string frame{};
    int disposition = 0;
    bool operator==(const NewWindow&) const = default;
};
struct AddressChanged {
    int view_id = 0;
    std::u16string address{};
    bool operator==(const AddressChanged&) const = default;
};
struct TitleChanged {
    int view_id = 0;
    std::u16string title{};
    bool operator==(const TitleChanged&) const = default;
};
struct StatusTextChanged {
    int view_id = 0;
    std::u16string status_text{};
    bool operator==(const StatusTextChanged&) const = default;
};
struct ConsoleMessage {
    int view_id = 0;
    std::u16string text{};
    bool operator==(const ConsoleMessage&) const = default;
};
struct ResourceFound {
    int view_id = 0;
    int resource_kind = 0;
    bool operator==(const ResourceFound&) const = default;
};
struct ContextMenu {
    int view_id = 0;
    host_protocol::ContextMenu menu{};
    bool operator==(const ContextMenu&) const = default;
};
struct KeyEvent {
    int view_id = 0;
    host_protocol::KeyEvent key{};
    bool operator==(const KeyEvent&) const = default;
};

}  // namespace browser_event

using BrowserEvent = std::variant<browser_event::ViewCreated,
                                  browser_event::ViewClosing,
                                  browser_event::LoadStarted,
                                  browser_event::LoadFinished,
                                  browser_event::PageReady,
                                  browser_event::LoadingStateChanged,
                                  browser_event::NewWindow,
                                  browser_event::AddressChanged,
                                  browser_event::TitleChanged,
                                  browser_event::StatusTextChanged,
                                  browser_event::ConsoleMessage,
                                  browser_event::ResourceFound,
                                  browser_event::ContextMenu,
                                  browser_event::KeyEvent>;

// A message of the host as the view gets it: a plain one's parameters (their low 32 bits), or a
// WM_COPYDATA's payload.
struct HostMessage {
    enum class Carrier { kPlain, kCopyData };
    Carrier carrier = Carrier::kPlain;
    std::uint32_t code = 0;
    std::uint32_t wparam = 0;
    std::uint32_t lparam = 0;
    host_protocol::ByteSpan data{};
};

// One row of the table. The decoder gives nothing for a message that carries no event: a notice
// the view ignores, or a payload cut short.
struct NotificationRoute {
    HostMessage::Carrier carrier;
    std::uint32_t code;
    // Raised inside its message, whose answer is the handler's, rather than queued.
    bool at_once;
    std::optional<BrowserEvent> (*decode)(const HostMessage& message);
};

// The row of a message; null for a message that is none of the host's notifications.
const NotificationRoute* find_notification_route(const HostMessage& message);

}  // namespace quarnel
