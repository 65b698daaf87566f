// The publisher's servers as set at build time.

#include "app/settings.h"
#include "settings_values.h"

namespace quarnel::settings {

std::string start_address_url() {
    return kStartAddressUrl;
}

std::string default_start_page() {
    return kDefaultStartPage;
}

std::string home_page() {
    return kHomePage;
}

}  // namespace quarnel::settings
