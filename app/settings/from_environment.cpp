// The publisher's servers for end-to-end tests: each setting comes from the environment variable
// of the same name when it is set, else from the build-time value. Only the test build of the
// program links this file.

#include "app/settings.h"
#include "settings_values.h"

#include <cstdlib>

namespace quarnel::settings {

namespace {

std::string from_environment(const char* name, const char* built_in) {
    const char* value = std::getenv(name);
    return value ? value : built_in;
}

}  // namespace

std::string start_address_url() {
    return from_environment("QUARNEL_START_ADDRESS_URL", kStartAddressUrl);
}

std::string default_start_page() {
    return from_environment("QUARNEL_DEFAULT_START_PAGE", kDefaultStartPage);
}

std::string home_page() {
    return from_environment("QUARNEL_HOME_PAGE", kHomePage);
}

}  // namespace quarnel::settings
