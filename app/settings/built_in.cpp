// The publisher's servers as set at build time.

#include "app/settings.h"
#include "settings_values.h"

namespace quarnel {

Servers configured_servers() {
    return Servers{settings::kStartAddressUrl, settings::kDefaultStartPage, settings::kHomePage};
}

}  // namespace quarnel
