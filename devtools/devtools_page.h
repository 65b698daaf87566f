#pragma once

// What happens in one page, from the DevTools events of its target, as the notifications the
// browser view wants: load started and finished, address, title, loading state, page ready,
// console messages, status text and new-window requests. The host feeds the page session's
// events (and the browser session's Target.targetInfoChanged events, of every target: the
// tracker keeps those of its own), turns each notice into its window message, and asks for the
// navigation history when the tracker wants it.
//
// The events it reads need Page, Network and Runtime enabled on the page's session,
// Page.setLifecycleEventsEnabled, Target.setDiscoverTargets on the browser's, and the status
// binding added with Runtime.addBinding and status_text_script() run in every new document.
//
// Loads are those of the main frame only: one load started, then one load finished, per
// navigation of the main frame; a navigation within the document (a fragment, history.pushState)
// changes the address alone.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devtools/devtools.h"

namespace quarnel::devtools {

// Ways a page asks for a new window, in the numbers of the browser view's event.
inline constexpr int kOpenForegroundTab = 3;  // a link with a target, or window.open without features
inline constexpr int kOpenNewWindow = 6;      // window.open with window features: a popup

// Network error codes of the browser (its net::ERR_* numbers), for loads that failed.
inline constexpr int kNetFailed = -2;  // any error not in the table below
inline constexpr int kNetAborted = -3;

// The code of an error text such as "net::ERR_CONNECTION_REFUSED"; kNetFailed for one not known.
int network_error_code(std::string_view error_text);

struct PageNotice {
    enum class Kind {
        kLoadStarted,     // text: the address being loaded, empty when not yet known
        kLoadFinished,    // status: the document's HTTP status, or a negative network error code
        kPageReady,       // after a load finished that brought a document
        kLoadingState,    // is_loading, can_go_back, can_go_forward
        kAddressChanged,  // text
        kTitleChanged,    // text
        kConsoleMessage,  // text
        kStatusText,      // text: the address of the link under the pointer, empty when none
        kNewWindow,       // text: the target address; disposition
    };
    Kind kind = Kind::kLoadStarted;
    std::string text = {};  // given an initializer so that GCC lets designated initializers leave it out
    int status = 0;
    int disposition = 0;
    bool is_loading = false;
    bool can_go_back = false;
    bool can_go_forward = false;
    bool operator==(const PageNotice&) const = default;
};

class PageTracker {
public:
    // `target_id` is the page's target (its main frame has the same id); `status_binding` the
    // name of the binding the page's status script calls; `title_binding`, when not empty, that
    // of title_script() (the browser tells of a title only with the load or the address, not
    // when a script changes it later).
    PageTracker(std::string target_id, std::string status_binding, std::string title_binding = {});

    // The notices one event brings, in order; none for events of no concern.
    std::vector<PageNotice> on_event(const Message& event);
    // A reply to Page.getNavigationHistory: whether the page can go back and forward.
    std::vector<PageNotice> on_history(const Message& reply);
    // Whether a new history reply is wanted (the main frame went to another entry); true once.
    bool take_history_request();
    // Ends the load under way with `status` (the host waited too long, or the page's renderer
    // died); nothing when no load is under way.
    std::vector<PageNotice> abandon(int status);

    bool is_loading() const { return loading_; }
    // The main frame's address as last told; none before the page told any.
    const std::optional<std::string>& address() const { return address_; }

private:
    void begin_load(std::string address, std::vector<PageNotice>& out);
    void finish_load(bool document_loaded, std::vector<PageNotice>& out);
    void set_loading_state(bool loading, bool back, bool forward, std::vector<PageNotice>& out);
    void change_text(PageNotice::Kind kind,
                     std::optional<std::string>& last,
                     std::string text,
                     std::vector<PageNotice>& out);

    void on_request(const Message& event, std::vector<PageNotice>& out);
    void on_frame_navigated(const Message& event, std::vector<PageNotice>& out);
    void on_target_info(const Message& event, std::vector<PageNotice>& out);

    std::string target_id_;
    std::string binding_;
    std::string title_binding_;
    std::string main_frame_;

    bool loading_ = false;    // a load started and has not finished
    std::string request_id_;  // of the main document of the load under way
    int http_status_ = 0;     // of that document, once its response came
    int failure_ = 0;         // the network error that stopped it, when one did
    bool back_ = false;
    bool forward_ = false;
    bool state_sent_ = false;    // whether a loading state went out yet
    bool sent_loading_ = false;  // the is-loading of the last one
    bool history_wanted_ = false;

    std::optional<std::string> address_;
    std::optional<std::string> title_;
    std::optional<std::string> status_text_;
};

// A script for Page.addScriptToEvaluateOnNewDocument that calls the binding `binding` with the
// address of the link under the pointer whenever that changes, and with "" when it leaves links.
std::string status_text_script(std::string_view binding);

// A script for every new document that calls `binding` with the document's title whenever it
// changes (a script setting document.title, a <title> added or changed).
std::string title_script(std::string_view binding);

}  // namespace quarnel::devtools
