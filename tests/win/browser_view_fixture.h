#pragma once

// The browser view's tests run it against the scripted host: a hidden parent window, a fresh
// temporary folder for the host's command log, and helpers to script the host and to pump this
// thread's messages while waiting for something to happen.

#include "browserview/browser_view.h"
#include "core/host_protocol.h"
#include "core/le_bytes.h"
#include "tests/scripted_host/script.h"
#include "win_test_util.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace quarnel::test {

using test::pump_for;
using test::pump_until;

// The folder of the scripted "cefview(e_pair).exe", as Wine sees the build tree.
inline std::string scripted_host_dir() {
    return win::wide_to_ansi(test::wine_path(QUARNEL_SCRIPTED_HOST_DIR));
}

class BrowserViewTest : public ::testing::Test {
public:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1000, 1000, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent_);
        folder_ = win::wide_to_ansi(temp_.path());
        log_ = folder_ + "\\host.log";
    }

    void TearDown() override {
        if (parent_)
            DestroyWindow(parent_);
        // Each host notices within a quarter second that its view is gone and ends; the test's
        // folder with the host's log goes after that.
        EXPECT_TRUE(test::pump_until_ended(hosts_));
    }

    BrowserView* make_view(int width = 880, int height = 864, std::span<const std::uint8_t> stored = {}) {
        BrowserView::CreateArgs args = view_args_;
        args.parent = parent_;
        args.x = 3;
        args.y = 40;
        args.width = width;
        args.height = height;
        args.stored_properties = stored;
        view_ = BrowserView::create(args);
        return view_;
    }

    // Starts the scripted host for the view with its log in this test's folder.
    bool start(const std::string& options = "") {
        bool started = view_->start_engine(scripted_host_dir(), "--log=\"" + log_ + "\" " + options);
        if (started)
            hosts_.push_back(test::process_of_window(view_->host_window()));
        return started;
    }

    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        HANDLE file = CreateFileA(log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return lines;
        std::string text;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            text.append(buffer, got);
        CloseHandle(file);
        size_t at = 0;
        for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(text.substr(at, nl - at));
        return lines;
    }

    // Log lines that begin with `prefix`.
    std::vector<std::string> logged(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& line : log_lines()) {
            if (line.compare(0, prefix.size(), prefix) == 0)
                out.push_back(line);
        }
        return out;
    }

    bool wait_for_log(const std::string& prefix, DWORD timeout_ms = 15000) {
        return pump_until([&] { return !logged(prefix).empty(); }, timeout_ms);
    }

    LRESULT script(std::uint32_t code, const std::vector<std::uint8_t>& payload) {
        COPYDATASTRUCT cds{code, static_cast<DWORD>(payload.size()), const_cast<std::uint8_t*>(payload.data())};
        return SendMessageW(view_->host_window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }

    void script_reply(std::u16string_view mode) { script(scripted_host::kSetReply, host_protocol::encode_text(mode)); }

    // Asks the host to post a plain message, or to send a WM_COPYDATA, to the view.
    void host_posts(std::uint32_t code, std::uint32_t wp, std::uint32_t lp) {
        std::vector<std::uint8_t> p;
        for (std::uint32_t v : {scripted_host::kPost, code, wp, lp})
            append_u32(p, v);
        script(scripted_host::kSendToView, p);
    }
    void host_sends(std::uint32_t code, const std::vector<std::uint8_t>& payload) {
        std::vector<std::uint8_t> p;
        for (std::uint32_t v : {scripted_host::kSendCopyData, code, 0u, 0u})
            append_u32(p, v);
        p.insert(p.end(), payload.begin(), payload.end());
        script(scripted_host::kSendToView, p);
    }

    // A live window the host created as a child view (made on request).
    int make_child_view() {
        if (!view_->create_child_view("http://127.0.0.1/"))
            return 0;
        auto lines = logged("8822 -> ");
        return lines.empty() ? 0 : std::stoi(lines.back().substr(8));
    }

    // What make_view starts from: a test may shorten the control's waits here.
    BrowserView::CreateArgs view_args_;
    HWND parent_ = nullptr;
    BrowserView* view_ = nullptr;                 // not owned: lives with its window
    std::vector<win::UniqueKernelHandle> hosts_;  // the processes that start() started
    test::TempFolder temp_;
    std::string folder_;
    std::string log_;
};

}  // namespace quarnel::test
