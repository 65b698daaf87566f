// The browser host program. For now it only starts and ends: the host's protocol and its page
// engine come next.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
