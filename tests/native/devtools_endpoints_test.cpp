#include "devtools/devtools_endpoints.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace quarnel::devtools {
namespace {

TEST(ParseActivePort, TakesThePortAndPathAndRefusesAnythingElse) {
    struct Case {
        std::string_view file;
        std::optional<ActivePort> port;
    } cases[] = {
        {"38473\n/devtools/browser/0f3c-77ab", ActivePort{38473, "/devtools/browser/0f3c-77ab"}},
        {"9222\r\n/devtools/browser/x\r\n", ActivePort{9222, "/devtools/browser/x"}},
        {"1\n/b\n", ActivePort{1, "/b"}},
        {"65535\n/b", ActivePort{65535, "/b"}},
        {"", std::nullopt},
        {"9222", std::nullopt},
        {"9222\n", std::nullopt},
        {"9222\n/", std::nullopt},
        {"0\n/devtools/browser/x", std::nullopt},
        {"65536\n/devtools/browser/x", std::nullopt},
        {"+9222\n/devtools/browser/x", std::nullopt},
        {" 9222\n/devtools/browser/x", std::nullopt},
        {"9222\ndevtools/browser/x", std::nullopt},
        {"9222\n/devtools/browser/x y", std::nullopt},
        {"9222\n/devtools/browser/x\nthird line", std::nullopt},
        {"9222\n/devtools/browser/x\n\n", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parse_active_port(c.file), c.port) << c.file;
}

}  // namespace
}  // namespace quarnel::devtools
