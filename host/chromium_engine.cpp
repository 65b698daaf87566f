#include "host/chromium_engine.h"

namespace quarnel::host {

std::unique_ptr<PageEngine> start_chromium_engine(const ChromiumOptions&) {
    return nullptr;
}

}  // namespace quarnel::host
