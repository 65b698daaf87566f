// Any text as DevTools messages, one per line, fed to a command table and a page tracker, and
// the whole text as the port file. Nothing may throw or read outside
// the text, and the tracker's notices must keep their order: a load finished only after a load
// started, never two starts without a finish between, and page ready only right after a load
// finished with a positive status, and no "not loading" state amid a load.
#include "devtools/devtools.h"
#include "devtools/devtools_endpoints.h"
#include "devtools/devtools_page.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace quarnel::devtools;

namespace {

struct OrderCheck {
    bool loading = false;

    void see(const std::vector<PageNotice>& notices) {
        bool ready_allowed = false;  // the loading state may stand between load finished and page ready
        for (const PageNotice& notice : notices) {
            switch (notice.kind) {
                case PageNotice::Kind::kLoadStarted:
                    if (loading)
                        abort();
                    loading = true;
                    ready_allowed = false;
                    break;
                case PageNotice::Kind::kLoadFinished:
                    if (!loading)
                        abort();
                    loading = false;
                    ready_allowed = notice.status > 0;
                    break;
                case PageNotice::Kind::kPageReady:
                    if (!ready_allowed)
                        abort();
                    ready_allowed = false;
                    break;
                case PageNotice::Kind::kLoadingState:
                    // A load starts with the loading state, so only "not loading" amid a load is wrong.
                    if (!notice.is_loading && loading)
                        abort();
                    break;
                default:
                    ready_allowed = false;
                    break;
            }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    parse_active_port(text);

    CommandTable table;
    for (int i = 0; i < 4; ++i)
        table.add("Page.navigate", Params().text("url", text.substr(0, 16)), i % 2 ? "S" : "");
    PageTracker tracker("T", "qStatus");
    OrderCheck order;
    std::string_view pointer = text.substr(0, text.find('\n'));
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::optional<Message> message = table.receive(line);
        if (!message)
            continue;
        string_at(*message, pointer);
        integer_at(*message, pointer);
        size_at(*message, pointer);
        evaluated_string(*message);
        if (message->kind == Message::Kind::kEvent)
            order.see(tracker.on_event(*message));
        else
            order.see(tracker.on_history(*message));
        if (tracker.take_history_request() && table.waiting() < 8)
            table.add("Page.getNavigationHistory", Params(), "S");
    }
    order.see(tracker.abandon(kNetAborted));
    if (tracker.is_loading())
        abort();
    return 0;
}
