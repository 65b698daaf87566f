#pragma once

// Small helpers shared by the Windows tests.

#include "winbase/handles.h"

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::test {

// Runs the thread's pending messages.
inline void pump_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Dispatches this thread's messages until `done` holds or `timeout_ms` passes; whether `done`
// holds at the end. The default wait is generous: Wine starts processes slowly, and nothing here
// is timed.
inline bool pump_until(const std::function<bool()>& done, DWORD timeout_ms = 30000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeout_ms)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pump_messages();
    }
    return true;
}

// Dispatches this thread's messages for `ms` milliseconds.
inline void pump_for(DWORD ms) {
    pump_until([] { return false; }, ms);
}

// The process that made `hwnd`, opened to wait for its end; empty when there is no such window.
win::UniqueKernelHandle process_of_window(HWND hwnd);

// Dispatches this thread's messages until every one of `processes` has ended or `timeout_ms`
// passes; whether they all ended.
bool pump_until_ended(std::span<const win::UniqueKernelHandle> processes, DWORD timeout_ms = 30000);

// The top-level window of class `class_name` that process `process_id` made, or null. Tests run
// beside each other, so another test's program may have a window of the same class.
HWND window_of_process(DWORD process_id, const wchar_t* class_name);

// Starts `program` (no arguments) in `folder` and dispatches this thread's messages until its
// main window shows or `timeout_ms` passes; that window, or null. `process` gets the program's
// process handle and number; its thread handle is closed.
HWND start_program(const std::wstring& program,
                   const std::wstring& folder,
                   PROCESS_INFORMATION& process,
                   DWORD timeout_ms);

// Whether the benchmarks run at their full sizes (QUARNEL_BENCH_FULL=1, set by scripts/bench.sh);
// otherwise they run their smallest sizes, only to show that they still work.
bool full_benchmark();
// Whether the long soak run of the benchmarks is asked for (QUARNEL_BENCH_SOAK=1).
bool soak_benchmark();

// A path of the build tree (a Linux path, UTF-8) as Wine sees it: Z: is /.
std::wstring wine_path(std::string_view linux_path);

// A temporary folder that is removed with everything in it when the object ends.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::wstring& path() const { return path_; }
    // Writes a file in the folder and returns its full path.
    std::wstring write_file(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring path_;
};

// A data object as the shell makes for a file drag (CF_HDROP), or one holding only text.
IDataObject* make_file_data_object(const std::vector<std::wstring>& paths);
IDataObject* make_text_data_object(const std::wstring& text);

// The bytes of a 16 x 16 icon file of one colour, 32 bits per pixel.
std::string solid_icon(COLORREF colour);

// Presses or releases the modifier keys in this thread's keyboard state, as GetKeyState sees it.
void set_modifier_keys(bool ctrl, bool shift, bool alt);

}  // namespace quarnel::test
