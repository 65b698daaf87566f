// Benchmark, not a timed test: prints how long reading the address list takes for 1,000 to
// 100,000 lines, the memory the rows add, and how long scrolling to the end and redrawing takes,
// and how a 50 MB address text is taken. Without QUARNEL_BENCH_FULL only the smallest sizes run.

#include "main_window_insides.h"
#include "win_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

namespace quarnel {
namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Bytes in use on all the process's heaps (the C runtime's malloc keeps one of its own).
size_t heap_bytes_in_use() {
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    size_t used = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                used += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return used;
}

// Lines of about 60 bytes, every one a distinct address.
std::string address_text(int lines) {
    std::string text;
    text.reserve(static_cast<size_t>(lines) * 62);
    char line[80];
    for (int i = 0; i < lines; ++i) {
        snprintf(line, sizeof(line), "http://www.example-%06d.com/path/to/page-%06d.html?q=%05d\r\n", i, i, i % 99999);
        text += line;
    }
    return text;
}

TEST(UrlListBenchmark, ReadUrlsOnLargeLists) {
    test::TempFolder folder;
    MainWindow window(folder.path());
    MainWindowInsides inside{window};
    ASSERT_TRUE(window.create());
    ShowWindow(window.hwnd(), SW_SHOWNOACTIVATE);
    std::vector<int> sizes = test::full_benchmark() ? std::vector<int>{1000, 10000, 100000} : std::vector<int>{1000};
    for (int lines : sizes) {
        inside.url_list_view.delete_all_rows();
        inside.url_text_box.set_text(address_text(lines));
        size_t memory_before = heap_bytes_in_use();
        auto start = Clock::now();
        inside.address_list.read_urls();
        double read_ms = ms_since(start);
        size_t memory_after = heap_bytes_in_use();
        ASSERT_EQ(inside.url_list_view.row_count(), lines);

        start = Clock::now();
        ListView_EnsureVisible(inside.url_list_view.hwnd(), lines - 1, FALSE);
        UpdateWindow(inside.url_list_view.hwnd());
        ListView_EnsureVisible(inside.url_list_view.hwnd(), lines / 2, FALSE);
        UpdateWindow(inside.url_list_view.hwnd());
        double scroll_ms = ms_since(start);

        printf("read_urls %6d lines: %8.1f ms; rows add %6.1f MB; scroll to end and middle with redraw: %6.1f ms\n",
               lines, read_ms, (static_cast<double>(memory_after) - static_cast<double>(memory_before)) / 1048576.0,
               scroll_ms);
    }
}

// The list's commands on a long list, each as a ratio to read_urls on the same lines.
TEST(UrlListBenchmark, ListCommandsAgainstReadUrls) {
    test::TempFolder folder;
    MainWindow window(folder.path());
    MainWindowInsides inside{window};
    ASSERT_TRUE(window.create());
    int lines = test::full_benchmark() ? 100000 : 1000;
    inside.url_text_box.set_text(address_text(lines));
    auto start = Clock::now();
    inside.address_list.read_urls();
    double read_ms = ms_since(start);
    struct Step {
        const char* name;
        std::function<void()> run;
    } steps[] = {
        {"select_all_rows", [&] { inside.list_commands.select_all_rows(); }},
        {"invert_selection (all selected)", [&] { inside.list_commands.invert_selection(); }},
        {"invert_selection (none selected)", [&] { inside.list_commands.invert_selection(); }},
        {"copy_urls (every row, to the clipboard)", [&] { inside.list_commands.copy_urls(); }},
        {"invert_selection (second half)",
         [&] {
             for (int row = 0; row < lines / 2; ++row)
                 inside.url_list_view.deselect_row(row);
             start = Clock::now();  // the deselection is not what is measured
             inside.list_commands.invert_selection();
         }},
    };
    for (const Step& step : steps) {
        start = Clock::now();
        step.run();
        double ms = ms_since(start);
        printf("%6d rows: %-40s %8.1f ms, %.2f x read_urls (%.1f ms)\n", lines, step.name, ms, ms / read_ms, read_ms);
    }
    EXPECT_EQ(static_cast<int>(inside.url_list_view.selected_rows().size()), lines / 2);
    inside.balloon_tip.hide();
}

TEST(UrlListBenchmark, HugeAddressTextNeitherCrashesNorHangs) {
    test::TempFolder folder;
    MainWindow window(folder.path());
    MainWindowInsides inside{window};
    ASSERT_TRUE(window.create());
    int lines = test::full_benchmark() ? 850000 : 10000;  // about 50 MB, or 600 KB
    std::string text = address_text(lines);
    auto start = Clock::now();
    inside.url_text_box.set_text(text);
    double set_ms = ms_since(start);
    start = Clock::now();
    inside.address_list.read_urls();
    double read_ms = ms_since(start);
    EXPECT_EQ(inside.url_list_view.row_count(), lines);
    printf("%.1f MB address text: set into the box %.0f ms, read_urls %.0f ms\n", text.size() / 1048576.0, set_ms,
           read_ms);
}

}  // namespace
}  // namespace quarnel
