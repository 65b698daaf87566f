// A browser-engine view's page: opened in the browser's profile and set up before its first
// navigation, closed, lost with the browser, and replaced by a fresh one.

#include "host/chromium/chromium_engine_impl.h"
#include "host/chromium/chromium_view.h"
#include "winbase/text.h"

#include <utility>

namespace quarnel::host {

// Closes the page's target, which ends its renderer unless another page shares it.
void ChromiumView::close_target() {
    DevToolsLink* link = engine_.link();
    if (link && !target_.empty())
        link->send("Target.closeTarget", Params().text("targetId", target_));
}

void ChromiumView::command(const std::string& method, const Params& params, DevToolsLink::Reply reply) {
    DevToolsLink* link = engine_.link();
    if (link && tracker_)
        link->send(method, params, session_, std::move(reply));
    else if (reply)
        reply(nullptr);
}

// Every page is in the browser's own profile, so cookies, storage and the cache are the
// user's from one page and one start to the next. Each step checks that the page it opens is
// still wanted (`number`). The page opens once the engine knows what pages are to be told of
// the browser.
void ChromiumView::open_page() {
    DevToolsLink* link = engine_.link();
    if (builtin_ || opening_ || tracker_ || !link || !engine_.identity())
        return;
    opening_ = true;
    ++page_number_;
    // A window of its own: a page that shares a window is a background tab, which the browser
    // neither draws nor passes input to.
    link->send("Target.createTarget", Params().text("url", "about:blank").flag("newWindow", true), {},
               opening_step(std::nullopt, [this](const Message* created) {
                   std::optional<std::string> id = created ? string_at(*created, "/targetId") : std::nullopt;
                   if (!id) {
                       opening_ = false;
                       return;
                   }
                   engine_.link()->send(
                       "Target.attachToTarget", Params().text("targetId", *id).flag("flatten", true), {},
                       opening_step(*id, [this, id = *id](const Message* reply) {
                           std::optional<std::string> session = reply ? string_at(*reply, "/sessionId") : std::nullopt;
                           if (session) {
                               attached(id, *session);
                               return;
                           }
                           opening_ = false;
                           if (reply)
                               engine_.link()->send("Target.closeTarget", Params().text("targetId", id));
                       }));
               }));
}

// A reply of the browser while a page opens: `step` runs only while this view still opens that
// page. A page the browser made that is no longer wanted (`made`, or the one the reply names) is
// closed: it would stay open, with its renderer, for as long as the browser runs.
DevToolsLink::Reply ChromiumView::opening_step(std::optional<std::string> made,
                                               std::function<void(const Message*)> step) {
    return [this, alive = std::weak_ptr<bool>(alive_), number = page_number_, &engine = engine_, made = std::move(made),
            step = std::move(step)](const Message* reply) {
        if (!alive.expired() && number == page_number_ && opening_ && engine_.link()) {
            step(reply);
            return;
        }
        std::optional<std::string> target = made ? made : reply ? string_at(*reply, "/targetId") : std::nullopt;
        DevToolsLink* link = reply ? engine.link() : nullptr;
        if (target && link)
            link->send("Target.closeTarget", Params().text("targetId", *target));
    };
}

void ChromiumView::attached(std::string target, std::string session) {
    opening_ = false;
    navigations_ = 0;
    target_ = std::move(target);
    session_ = std::move(session);
    tracker_.emplace(target_, kStatusBinding, kTitleBinding);
    input_->page_replaced();
    command("Page.enable");
    command("Page.bringToFront");
    command("Network.enable");
    command("Runtime.enable");
    command("Page.setLifecycleEventsEnabled", Params().flag("enabled", true));
    // Before the first navigation, so that every document and its workers see it.
    command("Emulation.setUserAgentOverride", devtools::user_agent_override(*engine_.identity(), engine_.languages()));
    const std::pair<const char*, std::string> scripts[] = {
        {kStatusBinding, devtools::status_text_script(kStatusBinding)},
        {kTitleBinding, devtools::title_script(kTitleBinding)},
        {kCursorBinding, devtools::cursor_script(kCursorBinding)},
    };
    for (const auto& [binding, script] : scripts) {
        command("Runtime.addBinding", Params().text("name", binding).text("executionContextName", kWorld));
        command("Page.addScriptToEvaluateOnNewDocument", Params().text("source", script).text("worldName", kWorld));
    }
    RECT client{};
    GetClientRect(hwnd(), &client);
    resize(client.right, client.bottom);
    picture_->start();
    // The first navigation waits until the page's session has answered all of the above (its
    // answers come in order) and the browser has sized the page's window: a document that
    // commits before the view's scripts are in place runs without them, and one that commits
    // while its window is being sized reads a window of no size.
    set_up_ = false;
    window_id_.reset();
    std::weak_ptr<bool> alive = alive_;
    auto set_up = [this, alive, number = page_number_](const Message*) {
        if (alive.expired() || number != page_number_ || !tracker_)
            return;
        set_up_ = true;
        if (pending_address_)
            go_to(*std::exchange(pending_address_, std::nullopt));
    };
    auto size = [this, alive, number = page_number_, set_up](const Message* reply) {
        if (alive.expired() || number != page_number_)
            return;
        window_id_ = reply ? integer_at(*reply, "/windowId") : std::nullopt;
        RECT area{};
        GetClientRect(hwnd(), &area);
        if (!size_window(area.right, area.bottom, set_up))
            set_up(nullptr);
    };
    command("Page.getFrameTree", Params(), [this, alive, number = page_number_, size](const Message*) {
        DevToolsLink* link = engine_.link();
        if (alive.expired() || number != page_number_ || !link)
            return;
        link->send("Browser.getWindowForTarget", Params().text("targetId", target_), {}, size);
    });
}

void ChromiumView::close_page(bool load_goes_on) {
    close_target();
    page_lost(load_goes_on);
}

// A load under way ends as failed unless it goes on; a navigation asked for that had not begun
// (sent to a browser that was already gone) is made in the next page.
void ChromiumView::page_lost(bool load_goes_on) {
    if (watch_ == Watch::kStart && !pending_address_)
        pending_address_ = last_address_;
    if (tracker_ && !load_goes_on)
        report(tracker_->abandon(devtools::kNetFailed));
    ++page_number_;  // replies about the old page are dropped
    opening_ = false;
    tracker_.reset();
    target_.clear();
    session_.clear();
    window_id_.reset();
    popups_->forget();
    watch(Watch::kNone);
    dialogs_->forget();
    source_->answer_waiting();
}

// The page stopped answering or its renderer died: a fresh page takes its place. With
// `then_open` the fresh page loads that address, and the load under way goes on there (it is
// not reported as ended, so the application waits for the page it asked for); without, the load
// under way ends as failed.
void ChromiumView::replace_page(std::optional<std::wstring> then_open) {
    close_page(then_open.has_value());
    if (then_open)
        pending_address_ = std::move(then_open);
    open_page();
}

}  // namespace quarnel::host
