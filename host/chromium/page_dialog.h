#pragma once

// A page's alert, confirm, prompt and leave-page question. None ever holds the page: one the
// user caused (a press or key in the view just before) is shown as a native box over the view,
// the way a browser shows it, and the user's answer goes back to the page; any other is
// answered at once.

#include "host/chromium/page_channel.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace quarnel::host {

class PageDialogs {
public:
    // `view` gets the message that shows a box.
    PageDialogs(HWND view, PageChannel& page) : view_(view), page_(page) {}
    ~PageDialogs();

    // Page.javascriptDialogOpening; `users` tells whether the user caused it.
    void on_opening(const Message& event, bool users);
    // Whether a box waits for the user.
    bool open() const { return dialog_.has_value(); }
    // Closes the box, if one is open, and answers the page as if the user cancelled it (before a
    // navigation, which the open dialog would hold).
    void dismiss();
    // The page went: its box closes and no answer goes back.
    void forget();
    // The view's own messages; true when it was this part's.
    bool on_message(UINT msg);

private:
    struct Dialog {
        std::string kind;
        std::wstring message, default_text, title;
    };

    void show();
    void answer(bool accept, const std::wstring& text);

    HWND view_;  // not owned
    PageChannel& page_;
    std::optional<Dialog> dialog_;
    unsigned page_number_ = 0;  // counts forget(): an answer for a page gone is dropped
    // The box's window while it is open; shared with the box, which may outlive this object.
    std::shared_ptr<HWND> box_ = std::make_shared<HWND>(nullptr);
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quarnel::host
