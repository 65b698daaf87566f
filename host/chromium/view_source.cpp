#include "host/chromium/view_source.h"

#include "winbase/text.h"

#include <algorithm>
#include <utility>

namespace quarnel::host {

namespace {

// A source request the page has not answered this long: the page no longer answers. Checked
// this often.
constexpr std::uint32_t kSourceLimitMs = 4000;
constexpr UINT kSourceCheckMs = 250;
// The document as a browser's "view source of the current page": doctype and all, as it stands.
constexpr char kSourceExpression[] =
    "(document.doctype ? new XMLSerializer().serializeToString(document.doctype) + '\\n' : '') + "
    "(document.documentElement ? document.documentElement.outerHTML : '')";

}  // namespace

void ViewSource::request(std::wstring_view frame, SourceAnswer answer) {
    auto once = std::make_shared<SourceAnswer>(std::move(answer));
    waiting_.push_back(Waiting{clock_(), once});
    SetTimer(view_, kSourceCheckTimer, kSourceCheckMs, nullptr);
    SourceAnswer guarded = [once](std::optional<std::wstring> source) {
        if (*once)
            std::exchange(*once, nullptr)(std::move(source));
    };
    if (frame.empty())
        evaluate(std::nullopt, std::move(guarded));
    else
        find_frame(frame, std::move(guarded));
}

void ViewSource::answer_waiting() {
    KillTimer(view_, kSourceCheckTimer);
    for (Waiting& waiting : std::exchange(waiting_, {}))
        if (*waiting.answer)
            std::exchange(*waiting.answer, nullptr)(std::nullopt);
}

bool ViewSource::waited_for(std::uint32_t ms) const {
    std::uint32_t now = clock_();
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [&](const Waiting& waiting) { return *waiting.answer && now - waiting.asked_at >= ms; });
}

bool ViewSource::on_timer(UINT_PTR id) {
    if (id != kSourceCheckTimer)
        return false;
    std::erase_if(waiting_, [](const Waiting& waiting) { return !*waiting.answer; });
    std::uint32_t now = clock_();
    bool overdue = std::any_of(waiting_.begin(), waiting_.end(),
                               [now](const Waiting& waiting) { return now - waiting.asked_at >= kSourceLimitMs; });
    if (waiting_.empty())
        KillTimer(view_, kSourceCheckTimer);
    if (overdue) {
        answer_waiting();
        overdue_();
    }
    return true;
}

void ViewSource::evaluate(std::optional<long long> context, SourceAnswer answer) {
    Params params;
    params.text("expression", kSourceExpression).flag("returnByValue", true);
    if (context)
        params.integer("contextId", *context);
    page_.command("Runtime.evaluate", params, [answer = std::move(answer)](const Message* reply) {
        std::optional<std::string> source = reply ? devtools::evaluated_string(*reply) : std::nullopt;
        answer(source ? std::optional<std::wstring>(win::utf8_to_wide(*source)) : std::nullopt);
    });
}

// A sub-frame named by its name or address: its source is read in a world of its own there.
void ViewSource::find_frame(std::wstring_view frame, SourceAnswer answer) {
    std::weak_ptr<bool> alive = alive_;
    page_.command(
        "Page.getFrameTree", Params(),
        [this, alive, wanted = win::wide_to_utf8(frame), answer = std::move(answer)](const Message* tree) mutable {
            if (alive.expired() || !tree) {
                answer(std::nullopt);
                return;
            }
            std::string frame_id;
            std::vector<std::string> nodes = {"/frameTree"};
            while (!nodes.empty() && frame_id.empty()) {
                std::string node = std::move(nodes.back());
                nodes.pop_back();
                if (node != "/frameTree" && (string_at(*tree, node + "/frame/name") == wanted ||
                                             string_at(*tree, node + "/frame/url") == wanted))
                    frame_id = string_at(*tree, node + "/frame/id").value_or("");
                size_t children = size_at(*tree, node + "/childFrames").value_or(0);
                for (size_t i = 0; i < children; ++i)
                    nodes.push_back(node + "/childFrames/" + std::to_string(i));
            }
            if (frame_id.empty()) {
                answer(std::nullopt);
                return;
            }
            page_.command(
                "Page.createIsolatedWorld", Params().text("frameId", frame_id).text("worldName", "quarnel-source"),
                [this, alive, answer = std::move(answer)](const Message* world) mutable {
                    std::optional<long long> context = world ? integer_at(*world, "/executionContextId") : std::nullopt;
                    if (alive.expired() || !context)
                        answer(std::nullopt);
                    else
                        evaluate(context, std::move(answer));
                });
        });
}

}  // namespace quarnel::host
