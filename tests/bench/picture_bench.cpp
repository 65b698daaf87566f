// Times decoding site icons and drawing them in a picture box: for each file named on the
// command line, the mean of many runs of decode_picture alone, of the picture box's whole
// set_picture (decode, scale to 16 x 16, blend, bitmap), and of one paint of the box.

#include "controls/controls.h"
#include "core/picture.h"
#include "winbase/files.h"
#include "winbase/text.h"

#include <windows.h>

#include <chrono>
#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    using Clock = std::chrono::steady_clock;
    quarnel::ui::PictureBox box;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"PictureBenchParent";
    RegisterClassExW(&wc);
    HWND parent = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200, nullptr,
                                  nullptr, nullptr, nullptr);
    box.create({.frame = {.parent = parent, .x = 5, .y = 12, .width = 16, .height = 16}});
    const int runs = 2000;
    for (int i = 1; i < argc; ++i) {
        std::optional<std::string> bytes = quarnel::win::read_file_bytes(argv[i]);
        if (!bytes)
            continue;
        auto start = Clock::now();
        for (int r = 0; r < runs; ++r)
            quarnel::decode_picture(*bytes);
        double decode_us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
        start = Clock::now();
        bool shown = false;
        for (int r = 0; r < runs; ++r)
            shown = box.set_picture(*bytes);
        double set_us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
        start = Clock::now();
        for (int r = 0; r < runs; ++r)
            RedrawWindow(box.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        double paint_us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs;
        std::printf(
            "%-14s %6zu bytes: decode %6.1f us; set_picture (decode, scale, blend, bitmap) %6.1f us; "
            "paint %6.1f us%s\n",
            quarnel::win::wide_to_utf8(argv[i]).c_str(), bytes->size(), decode_us, set_us, paint_us,
            shown ? "" : " (not a picture)");
    }
    return 0;
}
