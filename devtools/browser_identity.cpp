#include "devtools/browser_identity.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>

namespace quarnel::devtools {

namespace {

using nlohmann::json;

constexpr std::string_view kHeadless = "Headless";

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The version after `product` + "/" in a user agent ("Chrome/124.0.6367.60"); empty when none.
std::string version_after(std::string_view user_agent, std::string_view product) {
    std::string key = std::string(product) + "/";
    for (size_t at = user_agent.find(key); at != std::string_view::npos; at = user_agent.find(key, at + 1)) {
        // "HeadlessChrome/" and "CriOS/" are other products.
        if (at > 0 && user_agent[at - 1] != ' ' && user_agent[at - 1] != ')')
            continue;
        size_t begin = at + key.size(), end = begin;
        while (end < user_agent.size() &&
               (isdigit(static_cast<unsigned char>(user_agent[end])) || user_agent[end] == '.'))
            ++end;
        return std::string(user_agent.substr(begin, end - begin));
    }
    return {};
}

std::string major_of(const std::string& version) {
    return version.substr(0, version.find('.'));
}

json parsed_object(std::string_view text) {
    json value = json::parse(text.begin(), text.end(), nullptr, false);
    return value.is_object() ? value : json::object();
}

// A brand list ([{brand, version}]) with the headless brand named as the browser's own.
json renamed_brands(const json& brands, std::string_view own_name) {
    json out = json::array();
    if (!brands.is_array())
        return out;
    for (const json& entry : brands) {
        if (!entry.is_object() || !entry.contains("brand") || !entry["brand"].is_string())
            continue;
        json brand = entry;
        if (contains(brand["brand"].get<std::string>(), kHeadless))
            brand["brand"] = own_name;
        out.push_back(brand);
    }
    return out;
}

// The members of the browser's high-entropy values that the override takes, under its names.
json metadata_from(const json& values, std::string_view own_name) {
    json metadata = json::object();
    metadata["brands"] = renamed_brands(values.value("brands", json::array()), own_name);
    metadata["fullVersionList"] = renamed_brands(values.value("fullVersionList", json::array()), own_name);
    for (const char* name : {"platform", "platformVersion", "architecture", "model", "bitness"})
        metadata[name] = values.contains(name) && values[name].is_string() ? values[name] : json("");
    metadata["fullVersion"] =
        values.contains("uaFullVersion") && values["uaFullVersion"].is_string() ? values["uaFullVersion"] : json("");
    metadata["mobile"] = values.contains("mobile") && values["mobile"].is_boolean() && values["mobile"].get<bool>();
    metadata["wow64"] = values.contains("wow64") && values["wow64"].is_boolean() && values["wow64"].get<bool>();
    if (values.contains("formFactors") && values["formFactors"].is_array())
        metadata["formFactors"] = values["formFactors"];
    return metadata;
}

// Sets every brand but the placeholder one ("Not.A/Brand") to `version` (its major part in
// `brands`, the whole in `fullVersionList`), and names the browser `name` where it is another
// Chromium browser.
void set_brand_versions(json& list, const std::string& version, std::string_view name, bool major_only) {
    for (json& entry : list) {
        std::string brand = entry.value("brand", "");
        if (brand.starts_with("Not") && contains(brand, "Brand"))
            continue;
        if (brand != "Chromium")
            entry["brand"] = name;
        entry["version"] = major_only ? major_of(version) : version;
    }
}

struct Platform {
    const char* marker;     // in the user agent
    const char* hint;       // Sec-CH-UA-Platform
    const char* navigator;  // navigator.platform
};

constexpr Platform kPlatforms[] = {
    {"Windows", "Windows", "Win32"},    {"Android", "Android", "Linux armv8l"}, {"CrOS", "Chrome OS", "Linux x86_64"},
    {"Macintosh", "macOS", "MacIntel"}, {"Linux", "Linux", "Linux x86_64"},
};

}  // namespace

std::string without_headless(std::string_view user_agent) {
    std::string out(user_agent);
    for (size_t at = out.find(kHeadless); at != std::string::npos; at = out.find(kHeadless, at))
        out.erase(at, kHeadless.size());
    return out;
}

std::string at_version(std::string_view user_agent, std::string_view product) {
    size_t slash = product.find('/');
    std::string major = slash == std::string_view::npos ? "" : major_of(std::string(product.substr(slash + 1)));
    if (major.empty() || !isdigit(static_cast<unsigned char>(major[0])))
        return std::string(user_agent);
    std::string out(user_agent);
    for (std::string_view token : {"Chrome", "Edg"}) {
        std::string old = version_after(out, token);
        if (old.empty())
            continue;
        std::string key = std::string(token) + "/" + old;
        for (size_t at = out.find(key); at != std::string::npos; at = out.find(key, at + 1)) {
            bool whole = (at == 0 || out[at - 1] == ' ' || out[at - 1] == ')') &&
                         (at + key.size() == out.size() || !isdigit(static_cast<unsigned char>(out[at + key.size()])));
            if (whole) {
                out.replace(at + token.size() + 1, old.size(), major + ".0.0.0");
                break;
            }
        }
    }
    return out;
}

BrowserIdentity own_identity(std::string_view user_agent, std::string_view high_entropy_json, bool edge) {
    json values = parsed_object(high_entropy_json);
    BrowserIdentity identity{without_headless(user_agent), "", ""};
    if (values.contains("brands"))
        identity.metadata = metadata_from(values, edge ? "Microsoft Edge" : "Google Chrome").dump();
    return identity;
}

BrowserIdentity given_identity(std::string_view user_agent, std::string_view high_entropy_json) {
    BrowserIdentity identity{std::string(user_agent), "", ""};
    const Platform* platform = nullptr;
    for (const Platform& candidate : kPlatforms) {
        if (contains(user_agent, candidate.marker)) {
            platform = &candidate;
            break;
        }
    }
    if (platform)
        identity.platform = platform->navigator;
    std::string chrome = version_after(user_agent, "Chrome");
    // Only Chromium browsers send client hints.
    if (chrome.empty())
        return identity;
    std::string edge = version_after(user_agent, "Edg");
    json metadata = metadata_from(parsed_object(high_entropy_json), "");
    if (metadata["brands"].empty()) {
        metadata["brands"] = json::array({{{"brand", "Not.A/Brand"}, {"version", "99"}}, {{"brand", "Chromium"}}});
        metadata["fullVersionList"] = json::array({{{"brand", "Not.A/Brand"}, {"version", "99.0.0.0"}}});
    }
    for (json* list : {&metadata["brands"], &metadata["fullVersionList"]}) {
        // A Chrome or Edge user agent names its browser beside Chromium.
        bool named = false;
        for (const json& entry : *list)
            named = named || (entry.value("brand", "") != "Chromium" && !entry.value("brand", "").starts_with("Not"));
        if (!named)
            list->push_back({{"brand", ""}});
        set_brand_versions(*list, chrome, edge.empty() ? "Google Chrome" : "Microsoft Edge",
                           list == &metadata["brands"]);
    }
    if (!edge.empty()) {
        // Edge's own brand has Edge's version, which follows Chromium's.
        for (json& entry : metadata["fullVersionList"])
            if (entry["brand"] == "Microsoft Edge")
                entry["version"] = edge;
    }
    metadata["fullVersion"] = chrome;
    metadata["platform"] = platform ? platform->hint : "";
    metadata["mobile"] = contains(user_agent, "Mobile");
    bool windows = platform && std::string_view(platform->hint) == "Windows";
    metadata["platformVersion"] = windows ? (contains(user_agent, "Windows NT 10") ? "10.0.0" : "0.0.0") : "";
    // Every Mac a current Chrome runs on is 64-bit, and its user agent does not say so.
    bool wide = contains(user_agent, "Macintosh") || contains(user_agent, "x64") || contains(user_agent, "Win64") ||
                contains(user_agent, "x86_64") || contains(user_agent, "WOW64");
    metadata["architecture"] = contains(user_agent, "arm") || contains(user_agent, "aarch64") ? "arm" : "x86";
    metadata["bitness"] = wide ? "64" : "32";
    metadata["wow64"] = contains(user_agent, "WOW64");
    metadata["model"] = "";
    identity.metadata = metadata.dump();
    return identity;
}

std::string accept_languages(std::string_view locale) {
    std::string first(locale.empty() ? "en-US" : locale);
    size_t dash = first.find('-');
    return dash == std::string::npos ? first : first + "," + first.substr(0, dash);
}

Params user_agent_override(const BrowserIdentity& identity, std::string_view languages) {
    Params params;
    params.text("userAgent", identity.user_agent);
    if (!languages.empty())
        params.text("acceptLanguage", languages);
    if (!identity.platform.empty())
        params.text("platform", identity.platform);
    if (!identity.metadata.empty())
        params.json_value("userAgentMetadata", identity.metadata);
    return params;
}

std::string screen_info_switch(int width, int height, double scale) {
    std::string info = "--screen-info={" + std::to_string(width) + "x" + std::to_string(height);
    if (scale > 1.001 || scale < 0.999) {
        char ratio[32];
        std::snprintf(ratio, sizeof(ratio), "%.2f", scale);
        info += std::string(" devicePixelRatio=") + ratio;
    }
    return info + "}";
}

}  // namespace quarnel::devtools
