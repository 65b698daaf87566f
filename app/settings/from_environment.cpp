// The publisher's servers for end-to-end tests: each comes from the environment variable of the
// same name as its build-time setting when that is set, else from the build-time value. Only the
// test build of the program links this file.

#include "app/settings.h"
#include "settings_values.h"

#include <cstdlib>

namespace quarnel {

namespace {

std::string from_environment(const char* name, const char* built_in) {
    const char* value = std::getenv(name);
    return value ? value : built_in;
}

}  // namespace

Servers configured_servers() {
    return Servers{from_environment("QUARNEL_START_ADDRESS_URL", settings::kStartAddressUrl),
                   from_environment("QUARNEL_DEFAULT_START_PAGE", settings::kDefaultStartPage),
                   from_environment("QUARNEL_HOME_PAGE", settings::kHomePage)};
}

}  // namespace quarnel
