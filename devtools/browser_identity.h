#pragma once

// What a page is told about the browser that shows it: the user agent string, the platform and
// the user-agent client hints, which must agree with each other, and the languages. A browser
// driven without a window calls itself "HeadlessChrome"; the page is told the browser's own
// identity without that mark, or, when the user gave one, the user agent given, with client
// hints made to match it.

#include "devtools/devtools.h"

#include <string>
#include <string_view>

namespace quarnel::devtools {

struct BrowserIdentity {
    std::string user_agent;  // navigator.userAgent and the User-Agent header
    std::string platform;    // navigator.platform; empty: the browser's own
    // The client hints (Emulation.setUserAgentOverride's userAgentMetadata) as a JSON object;
    // empty where a browser of that user agent sends none.
    std::string metadata;
    bool operator==(const BrowserIdentity&) const = default;
};

// The user agent without the mark of a browser that runs without a window.
std::string without_headless(std::string_view user_agent);

// `user_agent`, which a browser of an earlier version had, at the version of the browser whose
// product (Browser.getVersion) is `product` ("HeadlessChrome/157.0.7000.12"): its Chrome token,
// and Edge's, at that major version, as in a browser's reduced user agent. Unchanged when the
// product names no version.
std::string at_version(std::string_view user_agent, std::string_view product);

// The browser's own identity: its user agent (Browser.getVersion) and what
// navigator.userAgentData.getHighEntropyValues gave in one of its pages, as JSON, both without
// the headless mark. `edge`: the browser is Microsoft Edge, whose headless brand stands for its
// own name.
BrowserIdentity own_identity(std::string_view user_agent, std::string_view high_entropy_json, bool edge);

// The identity of a user agent the user gave: the platform and client hints it implies, with
// the brands of the browser's own `high_entropy_json` (their order and placeholder brand) at the
// user agent's versions. No client hints for a user agent of a browser that sends none.
BrowserIdentity given_identity(std::string_view user_agent, std::string_view high_entropy_json);

// The languages a browser offers for a user interface in `locale` ("zh-CN"), best first, as
// navigator.languages lists them: "zh-CN,zh". "en-US" when `locale` is empty.
std::string accept_languages(std::string_view locale);

// The params of Emulation.setUserAgentOverride for `identity` and `languages` (none: the
// browser's own).
Params user_agent_override(const BrowserIdentity& identity, std::string_view languages);

// The screen a browser without a window is to show its pages: the switch --screen-info for a
// screen of `width` by `height` device pixels at `scale` device pixels per CSS pixel.
std::string screen_info_switch(int width, int height, double scale);

}  // namespace quarnel::devtools
