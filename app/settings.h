#pragma once

// The publisher's servers. The program takes them from build-time settings (CMake cache
// variables QUARNEL_START_ADDRESS_URL, QUARNEL_DEFAULT_START_PAGE and QUARNEL_HOME_PAGE); the
// end-to-end test build of the program takes them from its environment instead, to point them
// at its own server.

#include <string>

namespace quarnel {

struct Servers {
    // Plain-text file holding the address of the first page to show.
    std::string start_address_url;
    // The page shown when the start-address file yields nothing.
    std::string default_start_page;
    // The publisher's home page, opened from the tray menu.
    std::string home_page;
};

Servers configured_servers();

}  // namespace quarnel
