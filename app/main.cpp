// Program entry: the main window and its message loop.

#include "app/main_window.h"
#include "winbase/files.h"

#include <commctrl.h>
#include <ole2.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Drag and drop needs OLE on this thread, which also makes it single-threaded COM.
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    int exit_code = 1;
    {
        quarnel::MainWindow window(quarnel::win::app_directory());
        window.on_destroyed_window = [] { PostQuitMessage(0); };
        if (window.create()) {
            window.start_up();
            ShowWindow(window.hwnd(), SW_SHOWNORMAL);
            UpdateWindow(window.hwnd());
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            exit_code = static_cast<int>(msg.wParam);
        }
    }
    OleUninitialize();
    return exit_code;
}
