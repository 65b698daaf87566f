// The browser host program. The browser view starts it with its window handle on the command
// line; the host creates its child views inside that window and ends by itself once the window
// is gone.

#include "core/host_command_line.h"
#include "host/engine_choice.h"
#include "host/host_window.h"
#include "host/page_engine.h"
#include "winbase/text.h"

#include <windows.h>

namespace {

// Exit codes of a host that could not serve.
constexpr int kExitMalformedCommandLine = 2;
constexpr int kExitNoBrowserView = 3;
constexpr int kExitNoWindow = 4;

// How long loader threads get to end once the host is done.
constexpr unsigned kWorkerGraceMs = 500;

struct HostEnd {
    int code = 0;
    bool threads_left = false;  // loader threads still inside a network call
};

HostEnd run_host(const quarnel::HostCommandLine& command_line) {
    HWND browser_view = reinterpret_cast<HWND>(static_cast<intptr_t>(command_line.view));
    if (!IsWindow(browser_view))
        return {kExitNoBrowserView};
    quarnel::host::EngineOptions options{quarnel::win::utf8_to_wide(command_line.user_agent),
                                         quarnel::win::utf8_to_wide(command_line.cache_path), browser_view};
    quarnel::host::HostWindow host(command_line, quarnel::host::choose_engine(options));
    if (!host.create())
        return {kExitNoWindow};
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return {0, !host.engine_threads_ended_within(kWorkerGraceMs)};
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The whole command line, not the CRT's split of it: the values are quoted text that the
    // parser reads itself.
    auto command_line = quarnel::parse_host_command_line(quarnel::win::wide_to_utf8(GetCommandLineW()));
    if (!command_line)
        return kExitMalformedCommandLine;
    HostEnd end = run_host(*command_line);
    // A loader thread still inside a network call must not keep the process alive, nor hold a
    // WinINet lock while the library shuts down: then the process ends without that clean-up.
    if (end.threads_left)
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(end.code));
    return end.code;
}
