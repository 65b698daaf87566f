// Figures for the browser view. These cases print what they measure and fail only when the work
// itself goes wrong, never on speed. Without QUARNEL_BENCH_FULL they run their smallest sizes
// and fewest rounds, only to show that they still work.

#include "core/host_command_line.h"
#include "tests/win/browser_view_fixture.h"

#define PSAPI_VERSION 2
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace quarnel {
namespace {

using test::BrowserViewTest;
namespace hp = host_protocol;

double millis_since(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::u16string page_of(size_t characters) {
    static const char16_t kPattern[] = u"<p>scripted page source \u4E2D\u6587</p>\r\n";
    std::u16string text;
    text.reserve(characters);
    for (size_t i = 0; i < characters; ++i)
        text.push_back(kPattern[i % (std::size(kPattern) - 1)]);
    return text;
}

// Times get_page_source `rounds` times and prints the median and the best.
void time_requests(BrowserView* view, int view_id, const char* label, size_t characters, int rounds) {
    std::vector<double> times;
    size_t bytes = 0;
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        std::string source = view->get_page_source(view_id, "", false);
        times.push_back(millis_since(start));
        bytes = source.size();
        EXPECT_GT(bytes, characters) << label;  // the Chinese characters take two bytes each
    }
    std::sort(times.begin(), times.end());
    printf("  get_page_source, %s: %zu UTF-16 characters -> %zu ANSI bytes: median %.2f ms, best %.2f ms (%d rounds)\n",
           label, characters, bytes, times[times.size() / 2], times.front(), rounds);
}

TEST_F(BrowserViewTest, BenchmarkPageSourceRoundTripWithTheHostProcess) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    int child = make_child_view();
    ASSERT_NE(child, 0);
    // Wine delivers a WM_COPYDATA between processes only up to about 2 MiB of data, so 1,000,000
    // characters is the largest source measured across processes here.
    std::vector<std::pair<size_t, int>> runs{{1024, 3}};
    if (test::full_benchmark())
        runs = {{1024, 50}, {1000000, 5}};
    for (auto [characters, rounds] : runs) {
        std::string script = "size:" + std::to_string(characters);
        script_reply(std::u16string(script.begin(), script.end()));
        time_requests(view_, child, "host process", characters, rounds);
    }
}

// A host played by a thread of this process: it answers every page-source request with the same
// source, sent as WM_COPYDATA from its own thread as the host process would.
class ThreadHost {
public:
    ThreadHost(HWND view, std::u16string source) : view_(view), payload_(hp::encode_text(source)) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, &ThreadHost::run, this, 0, &thread_id_);
        WaitForSingleObject(ready_, INFINITE);
    }
    ~ThreadHost() {
        PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(ready_);
    }
    HWND window() const { return window_; }

private:
    static constexpr UINT kAnswer = WM_APP + 1;

    static DWORD WINAPI run(void* self) {
        auto* host = static_cast<ThreadHost*>(self);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &ThreadHost::proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuarnelBenchThreadHost";
        RegisterClassExW(&wc);
        host->window_ =
            CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(host->window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
        SetEvent(host->ready_);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        DestroyWindow(host->window_);
        return 0;
    }

    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* host = reinterpret_cast<ThreadHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (host && msg == WM_COPYDATA && reinterpret_cast<COPYDATASTRUCT*>(lp)->dwData == hp::kPageSource) {
            PostMessageW(hwnd, kAnswer, 0, 0);
            return 0;
        }
        if (host && msg == kAnswer) {
            COPYDATASTRUCT cds{hp::kPageSource, static_cast<DWORD>(host->payload_.size()), host->payload_.data()};
            SendMessageW(host->view_, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd), reinterpret_cast<LPARAM>(&cds));
            return 0;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    HWND view_;
    hp::Bytes payload_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD thread_id_ = 0;
    HWND window_ = nullptr;
};

TEST_F(BrowserViewTest, BenchmarkPageSourceRoundTripWithAHostThread) {
    ASSERT_TRUE(make_view());
    ASSERT_TRUE(start());
    // The thread host takes over with the same ready message the host process sent, carrying the
    // number the control put on the host's command line.
    auto command_line = logged("cmdline ");
    ASSERT_EQ(command_line.size(), 1u);
    auto args = quarnel::parse_host_command_line(command_line[0].substr(8));
    ASSERT_TRUE(args);
    std::vector<std::pair<size_t, int>> runs{{1024, 3}};
    if (test::full_benchmark())
        runs = {{1024, 50}, {5 * 1024 * 1024, 5}};
    for (auto [characters, rounds] : runs) {
        ThreadHost host(view_->hwnd(), page_of(characters));
        SendMessageW(view_->hwnd(), hp::kHostReady, reinterpret_cast<WPARAM>(host.window()), args->handler);
        ASSERT_EQ(view_->host_window(), host.window());
        int view_id = static_cast<int>(reinterpret_cast<std::intptr_t>(host.window()));
        time_requests(view_, view_id, "host thread", characters, rounds);
    }
}

// Bytes committed for the process (Wine reports no private usage, so the page-file figure).
size_t committed_bytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

// Bytes in blocks that are allocated in all of the process's heaps.
size_t heap_bytes_in_use() {
    HANDLE heaps[64];
    DWORD count = std::min<DWORD>(GetProcessHeaps(64, heaps), 64);
    size_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

TEST_F(BrowserViewTest, BenchmarkBurstOfNotifications) {
    ASSERT_TRUE(make_view());
    std::vector<std::string> texts;
    std::uint32_t delivered = 0;
    BrowserViewEvents events;
    events.status_text_changed = [&](int, std::wstring_view text) {
        texts.push_back(win::wide_to_utf8(text));
        ++delivered;
    };
    view_->set_events(events);
    ASSERT_TRUE(start());

    auto burst = [&](std::uint32_t count) {
        texts.clear();
        texts.reserve(count);
        delivered = 0;
        std::vector<std::uint8_t> request;
        append_u32(request, count);
        append_u32(request, 9);
        LARGE_INTEGER start;
        QueryPerformanceCounter(&start);
        script(scripted_host::kBurst, request);
        EXPECT_TRUE(test::pump_until([&] { return delivered == count; }, 120000));
        double ms = millis_since(start);
        EXPECT_EQ(texts.size(), count);
        for (std::uint32_t i = 0; i < count && i < texts.size(); ++i) {
            if (texts[i] != std::to_string(i)) {
                ADD_FAILURE() << "notification " << i << " arrived as " << texts[i];
                break;
            }
        }
        return ms;
    };
    // Warm up the heap before measuring.
    burst(100);
    test::pump_for(300);
    const std::uint32_t count = test::full_benchmark() ? 10000 : 1000;
    const int rounds = test::full_benchmark() ? 2 : 1;
    for (int round = 1; round <= rounds; ++round) {
        std::vector<std::string>().swap(texts);  // frees the capacity too
        size_t heap_before = heap_bytes_in_use(), committed_before = committed_bytes();
        double ms = burst(count);
        test::pump_for(500);
        std::vector<std::string>().swap(texts);  // frees the capacity too
        size_t heap_after = heap_bytes_in_use(), committed_after = committed_bytes();
        printf("  burst %d of %u status-text notifications: %.0f ms, %.0f per second\n", round, count, ms,
               count / (ms / 1000));
        printf("    heap in use %zu -> %zu bytes (%+lld); committed %zu -> %zu KB\n", heap_before, heap_after,
               static_cast<long long>(heap_after) - static_cast<long long>(heap_before), committed_before / 1024,
               committed_after / 1024);
        // Every record and its text is freed once delivered: a leaked record holds some tens of
        // bytes, so 10,000 of them several hundred KB; the bound of 6.5 bytes a record leaves
        // room for the heap's own changes.
        EXPECT_LT(static_cast<long long>(heap_after) - static_cast<long long>(heap_before),
                  static_cast<long long>(count) * 64 * 1024 / 10000);
    }
}

}  // namespace
}  // namespace quarnel
