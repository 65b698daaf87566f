#pragma once

// Helpers of the browser host's tests: the host program's path as Wine sees it and the pages they
// serve; with them, the shared helpers and the small HTTP server on 127.0.0.1.

#include "host/page_engine.h"
#include "tests/win/loopback_http_server.h"
#include "win_test_util.h"

#include <string>
#include <vector>

namespace quarnel::test {

// The browser host program in the build tree, as Wine sees it.
inline std::wstring host_program_path() {
    return test::wine_path(QUARNEL_HOST_EXE);
}

// The text of the test pages: 中文标题 (title) and 你好 (body), in UTF-8 or GBK.
constexpr char kUtf8Title[] = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87\xE9\xA2\x98";
constexpr char kUtf8Body[] = "\xE4\xBD\xA0\xE5\xA5\xBD";
constexpr char kGbkTitle[] = "\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2";
constexpr char kGbkBody[] = "\xC4\xE3\xBA\xC3";

// What an engine's view reports, as far as the tests of an engine in their own process look: the
// status of each load that finished.
class RecordedLoads final : public host::EngineEvents {
public:
    void load_started(HWND) override {}
    void load_finished(HWND, int status) override { statuses.push_back(status); }
    void address_changed(HWND, std::wstring_view) override {}
    void title_changed(HWND, std::wstring_view) override {}
    void status_text_changed(HWND, std::wstring_view) override {}
    void loading_state_changed(HWND, bool, bool, bool) override {}
    void page_ready(HWND) override {}
    void console_message(HWND, std::wstring_view) override {}
    void key_event(HWND, int, int, int) override {}
    bool new_window(HWND, std::wstring_view, host::OpenDisposition) override { return false; }
    void view_closing(HWND) override {}

    std::vector<int> statuses;
};

}  // namespace quarnel::test
