#include "host/engine_choice.h"

#include "host/chromium/chromium_engine.h"
#include "host/mirror_window.h"
#include "winbase/files.h"
#include "winbase/text.h"

#include <algorithm>

namespace quarnel::host {

namespace {

std::wstring environment(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD size = GetEnvironmentVariableW(name, buffer, 1024);
    return size > 0 && size < 1024 ? std::wstring(buffer, size) : std::wstring();
}

bool is_file(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The default value of an App Paths entry, in both registry views (this is a 32-bit program).
std::wstring app_path(const wchar_t* exe) {
    std::wstring key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + std::wstring(exe);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            wchar_t value[MAX_PATH] = {};
            DWORD size = sizeof(value);
            if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ | view, nullptr, value, &size) ==
                ERROR_SUCCESS) {
                std::wstring path(value);
                // Some installers write the value quoted.
                std::erase(path, L'"');
                if (!path.empty())
                    return path;
            }
        }
    }
    return {};
}

// The language of the user's Windows interface, as a browser names it ("zh-CN").
std::string interface_locale() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (!LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0))
        return {};
    return win::wide_to_utf8(name);
}

// The screen `window` is on. This program is not DPI-aware, so where Windows scales it the
// monitor it is told of is smaller than the display's own mode: their ratio is the scale a
// browser on that display reports. Where Windows does not scale it (as Windows 7 does up to 120
// dots per inch), the system's dots per inch give it.
Desktop desktop_of(HWND window) {
    MONITORINFOEXW monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return {};
    int width = monitor.rcMonitor.right - monitor.rcMonitor.left;
    int height = monitor.rcMonitor.bottom - monitor.rcMonitor.top;
    DEVMODEW mode{};
    mode.dmSize = sizeof(mode);
    if (width > 0 && EnumDisplaySettingsW(monitor.szDevice, ENUM_CURRENT_SETTINGS, &mode) &&
        static_cast<int>(mode.dmPelsWidth) > width)
        return {static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
                static_cast<double>(mode.dmPelsWidth) / width};
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return {width, height, dpi > 0 ? dpi / 96.0 : 1.0};
}

}  // namespace

std::vector<std::wstring> browser_candidates() {
    std::vector<std::wstring> found;
    auto add = [&](const std::wstring& path) {
        if (!path.empty() && is_file(path) && std::find(found.begin(), found.end(), path) == found.end())
            found.push_back(path);
    };
#ifdef QUARNEL_HOST_BROWSER
    add(QUARNEL_HOST_BROWSER);
#endif
    const std::wstring program_folders[] = {environment(L"ProgramW6432"), environment(L"ProgramFiles(x86)"),
                                            environment(L"ProgramFiles"), environment(L"LOCALAPPDATA")};
    struct Browser {
        const wchar_t* folder;
        const wchar_t* exe;
    } browsers[] = {{L"\\Microsoft\\Edge\\Application\\", L"msedge.exe"},
                    {L"\\Google\\Chrome\\Application\\", L"chrome.exe"}};
    for (const Browser& browser : browsers) {
        for (const std::wstring& base : program_folders) {
            if (!base.empty())
                add(base + browser.folder + browser.exe);
        }
        add(app_path(browser.exe));
    }
    if (child_windows_of_other_processes_are_hidden())
        add(L"Z:\\usr\\bin\\chromium");
    return found;
}

std::unique_ptr<PageEngine> choose_engine(const EngineOptions& options) {
    std::wstring forced = environment(L"QUARNEL_HOST_ENGINE");
    if (_wcsicmp(forced.c_str(), L"builtin") != 0) {
        // The browser starts in the background: the host is ready at once, and the engine falls
        // back to the built-in one by itself when no browser answers.
        std::vector<std::wstring> browsers = browser_candidates();
        if (!browsers.empty()) {
            ChromiumOptions chromium{browsers, options.user_agent, options.cache_path, interface_locale(),
                                     desktop_of(options.browser_view)};
            if (auto engine = start_chromium_engine(chromium))
                return engine;
        }
    }
    // A browser that is missing leaves the built-in engine, forced or not: the program must go
    // on showing pages.
    write_engine_log(options.cache_path, std::wstring(L"engine: built-in") +
                                             (forced.empty() ? L"" : L" (QUARNEL_HOST_ENGINE=" + forced + L")") +
                                             L"\r\n");
    return make_builtin_engine(options.user_agent);
}

}  // namespace quarnel::host
