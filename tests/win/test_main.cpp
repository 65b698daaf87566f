// Entry point of every Windows test program: the thread is set up as the program's own main
// thread is (OLE for drag and drop, the common controls), the browser hosts on the built-in
// engine.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The browser hosts these tests start use the built-in engine, whatever browser the machine
    // has, unless a test asks for the browser engine itself.
    if (GetEnvironmentVariableW(L"QUARNEL_HOST_ENGINE", nullptr, 0) == 0)
        SetEnvironmentVariableW(L"QUARNEL_HOST_ENGINE", L"builtin");
    if (FAILED(OleInitialize(nullptr)))
        return 2;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
