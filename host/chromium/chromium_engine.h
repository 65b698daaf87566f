#pragma once

// The engine that drives an installed Chromium-family browser (Edge, Chrome, chromium) over the
// DevTools protocol: one page target per child view, and a supervisor that keeps the views
// usable whatever the browser does. The host is ready before the browser is: views are made at
// once and their pages open when the browser answers. A browser that ends is started again and
// every view gets a fresh page; one that keeps ending is given up, and the built-in engine shows
// the pages from then on.

#include "core/tick_clock.h"
#include "host/page_engine.h"

#include <memory>
#include <string>
#include <vector>

namespace quarnel::host {

// The screen the pages are shown on, in device pixels, and its device pixels per CSS pixel.
struct Desktop {
    int width = 0, height = 0;  // 0: the browser's default
    double scale = 1;
};

// Each member has an initializer, so that GCC lets designated initializers leave it out.
struct ChromiumOptions {
    std::vector<std::wstring> browsers = {};  // the browsers' program files, tried in this order
    std::wstring user_agent = {};             // empty: the browser's own
    std::wstring cache_path = {};             // the folder that holds the browser's lasting profile
    std::string locale = {};                  // of the user's interface ("zh-CN"); empty: the browser's
    Desktop desktop = {};
    TickClock clock = {};  // what the engine, its link and its views time things by; empty: GetTickCount
    // A page's renderer grows with every document it shows and lives as long as the page keeps
    // to one site: a view's next navigation after this many is made in a fresh page.
    unsigned navigations_per_page = 500;
};

// The engine with its first browser starting; null only when the engine's window could not be
// made.
std::unique_ptr<PageEngine> start_chromium_engine(const ChromiumOptions& options);

}  // namespace quarnel::host
