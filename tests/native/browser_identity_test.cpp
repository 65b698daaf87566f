#include "devtools/browser_identity.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace quarnel::devtools {
namespace {

using nlohmann::json;

// What Debian's chromium without a window says of itself in a page.
constexpr char kChromiumValues[] =
    R"({"architecture":"x86","bitness":"64","brands":[{"brand":"Not:A-Brand","version":"8"},)"
    R"({"brand":"Chromium","version":"156"}],"fullVersionList":[{"brand":"Not:A-Brand","version":"8.0.0.0"},)"
    R"({"brand":"Chromium","version":"156.0.8078.129"}],"mobile":false,"model":"","platform":"Linux",)"
    R"("platformVersion":"6.1.0","uaFullVersion":"156.0.8078.129","wow64":false})";
constexpr char kHeadlessAgent[] =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) HeadlessChrome/156.0.0.0 Safari/537.36";

std::string brands(const BrowserIdentity& identity, const char* list = "brands") {
    std::string out;
    json metadata = json::parse(identity.metadata);
    for (const json& entry : metadata[list])
        out += entry["brand"].get<std::string>() + " " + entry["version"].get<std::string>() + ";";
    return out;
}

TEST(BrowserIdentityTest, TheBrowsersOwnIdentityLosesOnlyItsHeadlessMarks) {
    BrowserIdentity own = own_identity(kHeadlessAgent, kChromiumValues, false);
    EXPECT_EQ(own.user_agent,
              "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36");
    EXPECT_EQ(own.platform, "");
    EXPECT_EQ(brands(own), "Not:A-Brand 8;Chromium 156;");
    json metadata = json::parse(own.metadata);
    EXPECT_EQ(metadata["platform"], "Linux");
    EXPECT_EQ(metadata["fullVersion"], "156.0.8078.129");
    EXPECT_EQ(metadata["platformVersion"], "6.1.0");

    // Edge's headless brand becomes its own name.
    std::string edge_values = std::string(kChromiumValues);
    edge_values.replace(edge_values.find("{\"brand\":\"Chromium\""), 0, R"({"brand":"HeadlessEdg","version":"156"},)");
    EXPECT_EQ(brands(own_identity(kHeadlessAgent, edge_values, true)),
              "Not:A-Brand 8;Microsoft Edge 156;Chromium 156;");
    // A page that could not tell (no client hints in it): the user agent alone.
    EXPECT_EQ(own_identity(kHeadlessAgent, "", false).metadata, "");
}

TEST(BrowserIdentityTest, AGivenUserAgentBringsClientHintsThatAgreeWithIt) {
    struct Case {
        const char* user_agent;
        const char* platform;  // navigator.platform
        const char* brands;    // "" for no client hints
        const char* hint_platform;
        const char* bitness;
    } cases[] = {
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 "
         "Safari/537.36",
         "Win32", "Not:A-Brand 8;Chromium 124;Google Chrome 124;", "Windows", "64"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36 Edg/120.0.2210.91",
         "Win32", "Not:A-Brand 8;Chromium 120;Microsoft Edge 120;", "Windows", "64"},
        {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/110.0.0.0 "
         "Safari/537.36",
         "MacIntel", "Not:A-Brand 8;Chromium 110;Google Chrome 110;", "macOS", "64"},
        {"Mozilla/5.0 (Windows NT 6.1) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/109.0.0.0 Safari/537.36", "Win32",
         "Not:A-Brand 8;Chromium 109;Google Chrome 109;", "Windows", "32"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:121.0) Gecko/20100101 Firefox/121.0", "Win32", "", "", ""},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)", "Win32", "", "", ""},
        {"curl/8.0", "", "", "", ""},
    };
    for (const Case& c : cases) {
        BrowserIdentity identity = given_identity(c.user_agent, kChromiumValues);
        EXPECT_EQ(identity.user_agent, c.user_agent);
        EXPECT_EQ(identity.platform, c.platform) << c.user_agent;
        if (!*c.brands) {
            EXPECT_EQ(identity.metadata, "") << c.user_agent;
            continue;
        }
        EXPECT_EQ(brands(identity), c.brands) << c.user_agent;
        json metadata = json::parse(identity.metadata);
        EXPECT_EQ(metadata["platform"], c.hint_platform) << c.user_agent;
        EXPECT_EQ(metadata["bitness"], c.bitness) << c.user_agent;
    }
    // Edge's full version is its own; Chromium's follows the Chrome token.
    EXPECT_EQ(brands(given_identity(cases[1].user_agent, kChromiumValues), "fullVersionList"),
              "Not:A-Brand 8.0.0.0;Chromium 120.0.0.0;Microsoft Edge 120.0.2210.91;");
}

TEST(BrowserIdentityTest, AUserAgentOfAnEarlierVersionTakesTheBrowsersNewOne) {
    struct Case {
        const char* user_agent;
        const char* product;
        const char* expected;
    } cases[] = {
        {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36",
         "HeadlessChrome/157.0.7000.12",
         "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/157.0.0.0 Safari/537.36"},
        {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
         "Safari/537.36 Edg/120.0.0.0",
         "Chrome/121.0.6167.85",
         "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/121.0.0.0 "
         "Safari/537.36 Edg/121.0.0.0"},
        {"Mozilla/5.0 (X11; Linux x86_64) Chrome/156.0.0.0", "nothing",
         "Mozilla/5.0 (X11; Linux x86_64) Chrome/156.0.0.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(at_version(c.user_agent, c.product), c.expected) << c.product;
}

TEST(BrowserIdentityTest, LanguagesScreenAndTheOverrideCommand) {
    EXPECT_EQ(accept_languages("zh-CN"), "zh-CN,zh");
    EXPECT_EQ(accept_languages("de"), "de");
    EXPECT_EQ(accept_languages(""), "en-US,en");
    EXPECT_EQ(screen_info_switch(1920, 1080, 1.0), "--screen-info={1920x1080}");
    EXPECT_EQ(screen_info_switch(2400, 1350, 1.25), "--screen-info={2400x1350 devicePixelRatio=1.25}");
    json params = json::parse(user_agent_override({"UA", "Win32", R"({"mobile":false})"}, "zh-CN,zh").json());
    EXPECT_EQ(params, json::parse(R"({"userAgent":"UA","acceptLanguage":"zh-CN,zh","platform":"Win32",
                                      "userAgentMetadata":{"mobile":false}})"));
    EXPECT_EQ(json::parse(user_agent_override({"UA", "", ""}, "en-US,en").json()).size(), 2u);
}

}  // namespace
}  // namespace quarnel::devtools
