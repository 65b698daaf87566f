#include "devtools/devtools_page.h"

#include <nlohmann/json.hpp>

namespace quarnel::devtools {
namespace {

using Kind = PageNotice::Kind;

// The browser's network error numbers for the errors a page load meets most.
struct NetError {
    std::string_view name;
    int code;
};
constexpr NetError kNetErrors[] = {
    {"net::ERR_FAILED", -2},
    {"net::ERR_ABORTED", -3},
    {"net::ERR_FILE_NOT_FOUND", -6},
    {"net::ERR_TIMED_OUT", -7},
    {"net::ERR_ACCESS_DENIED", -10},
    {"net::ERR_BLOCKED_BY_CLIENT", -20},
    {"net::ERR_BLOCKED_BY_RESPONSE", -27},
    {"net::ERR_CONNECTION_CLOSED", -100},
    {"net::ERR_CONNECTION_RESET", -101},
    {"net::ERR_CONNECTION_REFUSED", -102},
    {"net::ERR_CONNECTION_ABORTED", -103},
    {"net::ERR_CONNECTION_FAILED", -104},
    {"net::ERR_NAME_NOT_RESOLVED", -105},
    {"net::ERR_INTERNET_DISCONNECTED", -106},
    {"net::ERR_SSL_PROTOCOL_ERROR", -107},
    {"net::ERR_ADDRESS_INVALID", -108},
    {"net::ERR_ADDRESS_UNREACHABLE", -109},
    {"net::ERR_CONNECTION_TIMED_OUT", -118},
    {"net::ERR_NAME_RESOLUTION_FAILED", -137},
    {"net::ERR_CERT_COMMON_NAME_INVALID", -200},
    {"net::ERR_CERT_DATE_INVALID", -201},
    {"net::ERR_CERT_AUTHORITY_INVALID", -202},
    {"net::ERR_INVALID_URL", -300},
    {"net::ERR_DISALLOWED_URL_SCHEME", -301},
    {"net::ERR_UNKNOWN_URL_SCHEME", -302},
    {"net::ERR_TOO_MANY_REDIRECTS", -310},
    {"net::ERR_INVALID_RESPONSE", -320},
    {"net::ERR_EMPTY_RESPONSE", -324},
};

// The text of one console argument (a Runtime.RemoteObject): a string as it is, a number, true,
// false or null as written in JSON, undefined by name, anything else by its description.
std::string argument_text(const nlohmann::json& argument) {
    if (!argument.is_object())
        return {};
    auto type = argument.find("type");
    if (type != argument.end() && *type == "undefined")
        return "undefined";
    auto value = argument.find("value");
    if (value != argument.end()) {
        if (value->is_string())
            return value->get<std::string>();
        if (value->is_primitive())
            return value->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    for (const char* name : {"unserializableValue", "description"}) {
        auto text = argument.find(name);
        if (text != argument.end() && text->is_string())
            return text->get<std::string>();
    }
    return {};
}

// The console line of a Runtime.consoleAPICalled event: its arguments joined by blanks.
std::string console_text(const Message& event) {
    auto args = event.body->find("args");
    if (args == event.body->end() || !args->is_array())
        return {};
    std::string text;
    for (const nlohmann::json& argument : *args) {
        if (!text.empty())
            text += ' ';
        text += argument_text(argument);
    }
    return text;
}

}  // namespace

int network_error_code(std::string_view error_text) {
    for (const NetError& error : kNetErrors)
        if (error.name == error_text)
            return error.code;
    return kNetFailed;
}

PageTracker::PageTracker(std::string target_id, std::string status_binding, std::string title_binding)
    : target_id_(std::move(target_id)),
      binding_(std::move(status_binding)),
      title_binding_(std::move(title_binding)),
      main_frame_(target_id_) {}

std::vector<PageNotice> PageTracker::on_event(const Message& event) {
    std::vector<PageNotice> out;
    if (event.kind != Message::Kind::kEvent)
        return out;
    const std::string& method = event.method;
    auto frame_id = [&] { return string_at(event, "/frameId").value_or(""); };
    if (method == "Page.frameStartedLoading") {
        if (frame_id() == main_frame_ && !loading_)
            begin_load({}, out);
    } else if (method == "Network.requestWillBeSent") {
        on_request(event, out);
    } else if (method == "Network.responseReceived") {
        // A load begun by frameStartedLoading takes the first document response of the frame.
        auto request = string_at(event, "/requestId");
        if (loading_ && request && request_id_.empty() && string_at(event, "/type") == "Document" &&
            frame_id() == main_frame_)
            request_id_ = *request;
        if (loading_ && request == request_id_)
            http_status_ = static_cast<int>(integer_at(event, "/response/status").value_or(0));
    } else if (method == "Network.loadingFailed") {
        // An error page follows a failed document; the load finishes when that has loaded.
        if (loading_ && string_at(event, "/requestId") == request_id_) {
            failure_ = bool_at(event, "/canceled").value_or(false)
                           ? kNetAborted
                           : network_error_code(string_at(event, "/errorText").value_or(""));
        }
    } else if (method == "Page.frameNavigated") {
        on_frame_navigated(event, out);
    } else if (method == "Page.navigatedWithinDocument") {
        if (frame_id() == main_frame_) {
            change_text(Kind::kAddressChanged, address_, string_at(event, "/url").value_or(""), out);
            history_wanted_ = true;
        }
    } else if (method == "Page.loadEventFired" || method == "Page.frameStoppedLoading") {
        if (loading_ && (method == "Page.loadEventFired" || frame_id() == main_frame_))
            finish_load(true, out);
    } else if (method == "Page.lifecycleEvent") {
        auto loader = string_at(event, "/loaderId").value_or("");
        if (loading_ && string_at(event, "/name") == "load" && frame_id() == main_frame_ &&
            (request_id_.empty() || loader == request_id_))
            finish_load(true, out);
    } else if (method == "Target.targetInfoChanged") {
        on_target_info(event, out);
    } else if (method == "Runtime.consoleAPICalled") {
        out.push_back({.kind = Kind::kConsoleMessage, .text = console_text(event)});
    } else if (method == "Runtime.exceptionThrown") {
        auto text = string_at(event, "/exceptionDetails/exception/description");
        if (!text)
            text = string_at(event, "/exceptionDetails/text");
        out.push_back({.kind = Kind::kConsoleMessage, .text = text.value_or("")});
    } else if (method == "Runtime.bindingCalled") {
        auto name = string_at(event, "/name");
        if (name == binding_)
            change_text(Kind::kStatusText, status_text_, string_at(event, "/payload").value_or(""), out);
        else if (!title_binding_.empty() && name == title_binding_)
            change_text(Kind::kTitleChanged, title_, string_at(event, "/payload").value_or(""), out);
    } else if (method == "Page.windowOpen") {
        auto url = string_at(event, "/url");
        bool popup = size_at(event, "/windowFeatures").value_or(0) > 0;
        if (url && !url->empty())
            out.push_back({.kind = Kind::kNewWindow,
                           .text = std::move(*url),
                           .disposition = popup ? kOpenNewWindow : kOpenForegroundTab});
    }
    return out;
}

// The main document's request: it begins a load, redirects within one, or begins another load
// that takes the place of the one under way.
void PageTracker::on_request(const Message& event, std::vector<PageNotice>& out) {
    auto request = string_at(event, "/requestId");
    if (!request || string_at(event, "/type") != "Document" || string_at(event, "/frameId") != main_frame_)
        return;
    if (loading_ && *request == request_id_)
        return;
    if (loading_ && request_id_.empty()) {
        request_id_ = *request;
        return;
    }
    if (loading_) {
        failure_ = http_status_ > 0 ? 0 : kNetAborted;
        finish_load(false, out);
    }
    begin_load(string_at(event, "/documentURL").value_or(""), out);
    request_id_ = *request;
}

void PageTracker::on_frame_navigated(const Message& event, std::vector<PageNotice>& out) {
    if (string_at(event, "/frame/parentId"))
        return;
    main_frame_ = string_at(event, "/frame/id").value_or(main_frame_);
    // An error page stands for the address that could not be reached.
    std::string address = string_at(event, "/frame/unreachableUrl").value_or("");
    if (address.empty())
        address = string_at(event, "/frame/url").value_or("") + string_at(event, "/frame/urlFragment").value_or("");
    change_text(Kind::kAddressChanged, address_, std::move(address), out);
    history_wanted_ = true;
}

void PageTracker::on_target_info(const Message& event, std::vector<PageNotice>& out) {
    if (string_at(event, "/targetInfo/targetId") != target_id_)
        return;
    if (auto url = string_at(event, "/targetInfo/url"); url && !url->empty() && url->rfind("chrome-error:", 0) != 0)
        change_text(Kind::kAddressChanged, address_, std::move(*url), out);
    if (auto title = string_at(event, "/targetInfo/title"))
        change_text(Kind::kTitleChanged, title_, std::move(*title), out);
}

std::vector<PageNotice> PageTracker::on_history(const Message& reply) {
    std::vector<PageNotice> out;
    auto current = integer_at(reply, "/currentIndex");
    auto entries = size_at(reply, "/entries");
    if (reply.kind != Message::Kind::kReply || !current || !entries || *current < 0 ||
        static_cast<size_t>(*current) >= *entries)
        return out;
    auto index = static_cast<size_t>(*current);
    set_loading_state(loading_, index > 0, index + 1 < *entries, out);
    auto title = string_at(reply, "/entries/" + std::to_string(index) + "/title");
    if (title && !title->empty())
        change_text(Kind::kTitleChanged, title_, std::move(*title), out);
    return out;
}

bool PageTracker::take_history_request() {
    bool wanted = history_wanted_;
    history_wanted_ = false;
    return wanted;
}

std::vector<PageNotice> PageTracker::abandon(int status) {
    std::vector<PageNotice> out;
    if (loading_) {
        failure_ = status;
        finish_load(false, out);
    }
    return out;
}

void PageTracker::begin_load(std::string address, std::vector<PageNotice>& out) {
    loading_ = true;
    request_id_.clear();
    http_status_ = 0;
    failure_ = 0;
    set_loading_state(true, back_, forward_, out);
    out.push_back({.kind = Kind::kLoadStarted, .text = std::move(address)});
    // The link under the pointer belonged to the page that is going away.
    if (status_text_ && !status_text_->empty())
        change_text(Kind::kStatusText, status_text_, {}, out);
}

// A load that ends with no failure and no HTTP status brought a document that needs no HTTP
// (about:blank, a data: or file: address): it counts as found.
void PageTracker::finish_load(bool document_loaded, std::vector<PageNotice>& out) {
    int status = failure_ != 0 ? failure_ : http_status_ > 0 ? http_status_ : 200;
    loading_ = false;
    request_id_.clear();
    out.push_back({.kind = Kind::kLoadFinished, .status = status});
    set_loading_state(false, back_, forward_, out);
    if (document_loaded && status > 0)
        out.push_back({.kind = Kind::kPageReady});
    history_wanted_ = true;
}

void PageTracker::set_loading_state(bool loading, bool back, bool forward, std::vector<PageNotice>& out) {
    if (state_sent_ && loading == sent_loading_ && back == back_ && forward == forward_)
        return;
    state_sent_ = true;
    sent_loading_ = loading;
    back_ = back;
    forward_ = forward;
    out.push_back({.kind = Kind::kLoadingState, .is_loading = loading, .can_go_back = back, .can_go_forward = forward});
}

void PageTracker::change_text(Kind kind,
                              std::optional<std::string>& last,
                              std::string text,
                              std::vector<PageNotice>& out) {
    if (last == text)
        return;
    last = text;
    out.push_back({.kind = kind, .text = std::move(text)});
}

std::string status_text_script(std::string_view binding) {
    // Links are found from the element under the pointer upwards, so a pointer over an image or
    // a span inside a link still counts; the binding is called only when the address changes.
    return binding_script(binding, R"JS(  let shown = '';
  const show = (text) => { if (text !== shown) { shown = text; report(text); } };
  const linkOf = (node) => node instanceof Element ? node.closest('a[href], area[href]') : null;
  document.addEventListener('mouseover', (e) => { const a = linkOf(e.target); show(a ? a.href : ''); }, true);
  document.addEventListener('mouseout', (e) => { if (!linkOf(e.relatedTarget)) show(''); }, true);
)JS");
}

std::string title_script(std::string_view binding) {
    // Only the main document's title counts: a frame's own document has a title of its own.
    return binding_script(binding, R"JS(  if (window !== window.top) return;
  let shown = null;
  const check = () => { const title = document.title; if (title && title !== shown) { shown = title; report(title); } };
  new MutationObserver(check).observe(document, {subtree: true, childList: true, characterData: true});
  check();
)JS");
}

}  // namespace quarnel::devtools
