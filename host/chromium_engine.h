#pragma once

// The engine that drives an installed Chromium-family browser (Edge, Chrome, chromium) over the
// DevTools protocol: one page target per child view.

#include "host/page_engine.h"

#include <memory>
#include <string>

namespace quarnel::host {

struct ChromiumOptions {
    std::wstring browser;     // the browser's program file
    std::wstring user_agent;  // empty: the browser's own
    std::wstring cache_path;  // the folder under which the browser's profile folder is made
};

// The engine, with its browser started and answering; null when the browser did not start or
// did not answer in time (it is ended then), with the reason in `failure` when given.
std::unique_ptr<PageEngine> start_chromium_engine(const ChromiumOptions& options, std::wstring* failure = nullptr);

}  // namespace quarnel::host
