#pragma once

// What the pass and the capture need of the browser engine: a view to show pages in and to read
// them back from. The program's is the engine keeper; tests give a scripted one.

#include <optional>
#include <string>

namespace quarnel {

class PageEngine {
public:
    virtual ~PageEngine() = default;
    // Window thread: opens `url` (8-bit ANSI) in the view; nothing without one.
    virtual void navigate(const std::string& url) = 0;
    // Window thread: the view's page source (ANSI); nothing without a view or an answer. May
    // dispatch messages while it waits.
    virtual std::optional<std::string> page_source() = 0;
    // Whether a page can be shown now.
    virtual bool showing() const = 0;
    // Whether the engine is gone or starting and expected back soon: pages are held until then.
    virtual bool recovering() const = 0;
};

}  // namespace quarnel
