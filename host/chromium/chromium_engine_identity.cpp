// The browser engine's account of the browser it drives: what the pages are told of it (its
// user agent without the headless mark, its client hints), read once in a page of the browser's
// own, and the user agent learned for its next start.

#include "host/chromium/chromium_engine_impl.h"

#include "host/chromium/chromium_view.h"
#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel::host {

namespace {

// The probe's page is asked this often until it has loaded.
constexpr UINT kIdentityPollMs = 50;
constexpr int kIdentityAttempts = 60;
constexpr char kHighEntropyScript[] =
    "(async () => { if (location.protocol !== 'http:' || !navigator.userAgentData) return ''; "
    "return JSON.stringify(await navigator.userAgentData.getHighEntropyValues(['architecture', 'bitness', "
    "'brands', 'fullVersionList', 'formFactors', 'model', 'platform', 'platformVersion', 'uaFullVersion', "
    "'wow64'])); })()";

bool is_edge(const std::wstring& browser) {
    std::wstring name = browser.substr(browser.find_last_of(L"\\/") + 1);
    return _wcsicmp(name.c_str(), L"msedge.exe") == 0;
}

}  // namespace

// Asked again until the probe's page has loaded; a browser that cannot tell is described by its
// user agent alone.
void ChromiumEngine::ask_identity() {
    KillTimer(hwnd(), kIdentityTimer);
    if (!link())
        return;
    Params params;
    params.text("expression", kHighEntropyScript).flag("awaitPromise", true).flag("returnByValue", true);
    link_->send("Runtime.evaluate", params, probe_session_, [this, launch = launches_](const Message* reply) {
        if (!link() || launch != launches_ || identity_)
            return;
        std::optional<std::string> values = reply ? devtools::evaluated_string(*reply) : std::nullopt;
        if (values && !values->empty())
            identity_known(*values);
        else if (++probe_attempts_ >= kIdentityAttempts)
            identity_known("");
        else
            SetTimer(hwnd(), kIdentityTimer, kIdentityPollMs, nullptr);
    });
}

void ChromiumEngine::identity_known(std::string high_entropy_json) {
    KillTimer(hwnd(), kIdentityTimer);
    if (!probe_target_.empty() && link())
        link_->send("Target.closeTarget", Params().text("targetId", probe_target_));
    probe_target_.clear();
    probe_session_.clear();
    if (options_.user_agent.empty()) {
        std::string agent = probe_agent_;
        // Started with the user agent learned from an earlier version of the browser: the one
        // of this version.
        if (learned_agent_used_ && learned_->product != probe_product_)
            agent = devtools::at_version(agent, probe_product_);
        identity_ = devtools::own_identity(agent, high_entropy_json, is_edge(options_.browsers[candidate_]));
        learn_agent(identity_->user_agent);
        // Started without it (its first start, or a new version of it): once more with it, before
        // any page is shown, so that no worker sees the browser's headless user agent.
        if (!learned_agent_used_ || identity_->user_agent != probe_agent_) {
            if (!relaunched_for_agent_) {
                relaunched_for_agent_ = true;
                identity_.reset();
                PostMessageW(hwnd(), kRelaunchWithAgentMessage, 0, 0);
                return;
            }
        }
    } else {
        identity_ = devtools::given_identity(win::wide_to_utf8(options_.user_agent), high_entropy_json);
    }
    for (ChromiumView* view : std::vector<ChromiumView*>(views_))
        view->open_page();
}

// The browser's own user agent without the headless mark is on its command line at its next
// start: service and shared workers take their user agent from there alone, never from a page.
// A browser that was updated since is given the new version's once it has said what it is.
void ChromiumEngine::learn_agent(const std::string& agent) {
    std::string browser = win::wide_to_utf8(options_.browsers[candidate_]);
    if (learned_ && learned_->browser == browser && learned_->product == probe_product_ && learned_->agent == agent)
        return;
    learned_ = LearnedAgent{browser, probe_product_, agent};
    win::replace_file_contents(base_ + kLearnedAgentFile, browser + "\n" + probe_product_ + "\n" + agent + "\n");
}

}  // namespace quarnel::host
