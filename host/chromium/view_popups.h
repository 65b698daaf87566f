#pragma once

// The windows a page in a browser-engine view opens. The browser makes a target of its own for
// each; the view closes them a moment later, once the browser has told whether the page
// announced the window (Page.windowOpen, which the view follows or hands to the application),
// and offers the address of one it did not announce as a new window then. Only windows the user
// opened with a click or a key in the view are followed, as a browser's pop-up blocker lets
// only those through.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace quarnel::host {

class ViewPopups {
public:
    struct Needs {
        // Whether a window the page opens now is followed: the user acted in the view lately and
        // the view is not on its way to another page.
        std::function<bool()> may_follow;
        std::function<void(const std::string& target)> close_target;
        // Shows `address`, a window the page opened, in the view or hands it to the application.
        std::function<void(const std::wstring& address)> follow;
    };
    ViewPopups(HWND view, Needs needs) : view_(view), needs_(std::move(needs)) {}

    // A target the browser made for a window of the page's.
    void opened(std::string target, std::string address);
    // The address such a target went on to (it may begin blank).
    void address_of(const std::string& target, const std::string& address);
    // The page announced its window, or the view leaves the page: the targets made so far are
    // only closed, not followed.
    void leave_all() {
        for (Popup& popup : popups_)
            popup.handled = true;
    }
    // The page is gone: so are its windows.
    void forget() { popups_.clear(); }
    // The view's timer; true when it was this part's.
    bool on_timer(UINT_PTR id);

private:
    void close_all();

    struct Popup {
        std::string target, address;
        bool handled = false;  // offered already (a Page.windowOpen came), or left behind by a navigation
    };
    HWND view_;  // not owned
    Needs needs_;
    std::vector<Popup> popups_;  // to close
};

}  // namespace quarnel::host
