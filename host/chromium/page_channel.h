#pragma once

// What the parts of a browser-engine view (its picture, its input) need of the page it shows:
// commands on the page's DevTools session, while it has a page.

#include "host/chromium/devtools_link.h"

#include <string>

namespace quarnel::host {

// The timers of a view's window; each part of the view sets its own.
enum ViewTimer : UINT_PTR {
    kClosePopupsTimer = 1,
    kPictureSettleTimer,
    kNavigationWatchTimer,
    kSourceCheckTimer,
    kSeenCheckTimer,
    kPictureAckTimer,
};

class PageChannel {
public:
    // Whether a page is attached; commands sent without one are dropped (their reply gets
    // nothing).
    virtual bool has_page() const = 0;
    virtual void command(const std::string& method,
                         const Params& params = Params(),
                         DevToolsLink::Reply reply = {}) = 0;

protected:
    ~PageChannel() = default;
};

}  // namespace quarnel::host
