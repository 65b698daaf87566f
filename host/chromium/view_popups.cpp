#include "host/chromium/view_popups.h"

#include "host/chromium/page_channel.h"
#include "winbase/text.h"

#include <utility>

namespace quarnel::host {

namespace {

// How long after a pop-up target appears it is closed: time enough for the browser to tell
// whether the page announced it.
constexpr UINT kClosePopupsDelayMs = 1000;

}  // namespace

void ViewPopups::opened(std::string target, std::string address) {
    popups_.push_back(Popup{std::move(target), std::move(address)});
    SetTimer(view_, kClosePopupsTimer, kClosePopupsDelayMs, nullptr);
}

void ViewPopups::address_of(const std::string& target, const std::string& address) {
    for (Popup& popup : popups_) {
        if (popup.target == target && !address.empty())
            popup.address = address;
    }
}

bool ViewPopups::on_timer(UINT_PTR id) {
    if (id != kClosePopupsTimer)
        return false;
    close_all();
    return true;
}

// The browser's own windows for pop-ups go; one that the page did not announce is offered as a
// new window now.
void ViewPopups::close_all() {
    KillTimer(view_, kClosePopupsTimer);
    for (const Popup& popup : std::exchange(popups_, {})) {
        needs_.close_target(popup.target);
        if (popup.handled || popup.address.empty() || popup.address == "about:blank" || !needs_.may_follow())
            continue;
        needs_.follow(win::utf8_to_wide(popup.address));
    }
}

}  // namespace quarnel::host
