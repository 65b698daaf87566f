#include "winbase/dispatching.h"

#include "winbase/handles.h"

#include <windows.h>

#include <system_error>
#include <thread>

namespace quarnel::win {

std::string run_dispatching(std::function<std::string()> work) {
    UniqueKernelHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::string result;
    if (!done)
        return work();
    HANDLE signal = done.get();
    std::thread worker;
    try {
        worker = std::thread([&work, &result, signal] {
            result = work();
            SetEvent(signal);
        });
    } catch (const std::system_error&) {
        return work();  // no thread to be had: the work runs here, holding the window
    }
    bool quitting = false;
    while (!quitting && MsgWaitForMultipleObjects(1, &signal, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                quitting = true;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    worker.join();
    return result;
}

}  // namespace quarnel::win
