#pragma once

// The one place where the host picks its page engine at start: an installed Chromium-family
// browser driven over the DevTools protocol when one is found and starts, else the built-in
// engine. QUARNEL_HOST_ENGINE=builtin|chromium in the host's environment forces the choice.

#include "host/page_engine.h"

#include <memory>
#include <string>
#include <vector>

namespace quarnel::host {

struct EngineOptions {
    std::wstring user_agent;      // empty: the browser's own, or the built-in engine's default
    std::wstring cache_path;      // the --open-cache-path folder; may be empty
    HWND browser_view = nullptr;  // the window the pages are shown in: its screen is theirs
};

// The browsers to try, in order: the one the build names, Edge, Chrome (their usual install
// folders, then their App Paths entries), and under Wine Debian's chromium. Only files that exist.
std::vector<std::wstring> browser_candidates();

std::unique_ptr<PageEngine> choose_engine(const EngineOptions& options);

}  // namespace quarnel::host
