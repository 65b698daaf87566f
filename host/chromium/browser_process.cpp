#include "host/chromium/browser_process.h"

#include "devtools/browser_identity.h"
#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel::host {

namespace {

// The lasting profile's folder in the cache folder, and what marks a run of it under Wine.
constexpr wchar_t kProfileName[] = L"Browser";
constexpr wchar_t kRunningSuffix[] = L".running-";
// The temporary profiles of earlier versions, one a host, that a host that was killed left.
constexpr wchar_t kOldProfilePrefix[] = L"browser-profile-";

// Removes what the Windows file functions can.
void delete_tree(const std::wstring& folder) {
    win::for_each_entry(folder, L"*", [&](const WIN32_FIND_DATAW& found) {
        std::wstring path = folder + L"\\" + found.cFileName;
        // A link to a folder is removed, not followed.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            delete_tree(path);
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(path.c_str());
        else {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
    });
    RemoveDirectoryW(folder.c_str());
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void delete_folder(const std::wstring& folder) {
    delete_tree(folder);
    if (exists(folder))
        wine::remove_with_unix_shell(folder);
}

void delete_left_profiles(const std::wstring& base) {
    std::vector<std::wstring> folders;
    // A host's number follows the prefix; a browser of a host that still runs stays.
    win::for_each_entry(base, (std::wstring(kOldProfilePrefix) + L"*").c_str(), [&](const WIN32_FIND_DATAW& found) {
        DWORD pid = wcstoul(found.cFileName + wcslen(kOldProfilePrefix), nullptr, 10);
        win::UniqueKernelHandle owner(OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (pid != GetCurrentProcessId() && (!owner || WaitForSingleObject(owner.get(), 0) == WAIT_OBJECT_0))
            folders.push_back(base + L"\\" + found.cFileName);
    });
    for (const std::wstring& folder : folders)
        delete_folder(folder);
}

std::wstring profile_folder(const std::wstring& base) {
    return base + L"\\" + kProfileName;
}

bool profile_used(const std::wstring& profile) {
    return exists(profile + L"\\Local State") || exists(profile + L"\\Default");
}

bool profile_locked(const std::wstring& profile) {
    // Under Wine a Linux browser's lock cannot be seen, but the shell that runs it names itself
    // in its marker beside the profile until the browser has ended. A marker whose shell is gone
    // (killed with its browser) is left over.
    bool held = false;
    size_t slash = profile.find_last_of(L'\\');
    std::wstring folder = profile.substr(0, slash), prefix = profile.substr(slash + 1) + kRunningSuffix;
    std::vector<std::wstring> left;
    win::for_each_entry(folder, (prefix + L"*").c_str(), [&](const WIN32_FIND_DATAW& found) {
        std::wstring marker = folder + L"\\" + found.cFileName;
        int shell = atoi(win::read_file_bytes(marker).value_or("").c_str());
        if (shell > 0 && exists(L"Z:\\proc\\" + std::to_wstring(shell)))
            held = true;
        else if (shell > 0)
            left.push_back(marker);
    });
    for (const std::wstring& marker : left)
        DeleteFileW(marker.c_str());
    if (held)
        return true;
    // A Windows browser holds its lock file open while it runs; it goes when the browser ends.
    std::wstring lock = profile + L"\\lockfile";
    if (!exists(lock))
        return false;
    win::UniqueFile file(CreateFileW(lock.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::optional<std::wstring> move_profile_aside(const std::wstring& profile) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t stamp[64];
    swprintf(stamp, 64, L".aside-%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    std::wstring aside = profile + stamp;
    for (int i = 2; exists(aside); ++i)
        aside = profile + stamp + L"-" + std::to_wstring(i);
    if (!MoveFileExW(profile.c_str(), aside.c_str(), 0))
        return std::nullopt;
    return aside;
}

bool BrowserProcess::start(const BrowserLaunch& settings, int number, std::wstring& failure) {
    end();
    const std::wstring& profile = settings.profile;
    CreateDirectoryW(profile.c_str(), nullptr);
    if (!exists(profile)) {
        failure = L"cannot make the profile folder " + profile;
        return false;
    }
    // The port of the browser that had the profile last: the one written after this is this
    // browser's.
    DeleteFileW((profile + L"\\DevToolsActivePort").c_str());
    profile_ = profile;
    bool linux_browser = wine::is_linux_program(settings.browser);
    std::optional<std::string> unix_profile = linux_browser ? win::unix_path_under_wine(profile) : std::nullopt;
    if (linux_browser && !unix_profile) {
        failure = L"no Linux path for the profile folder " + profile;
        return false;
    }
    std::vector<std::wstring> arguments = {
        // Without a window of its own: the view shows its pictures. What a browser without a
        // window shows of that to its pages is taken away here and by the engine (its user
        // agent, its screen, the automation flag).
        L"--headless=new",
        L"--remote-debugging-port=0",
        L"--user-data-dir=" + (unix_profile ? win::utf8_to_wide(*unix_profile) : profile),
        // navigator.webdriver stays false, as in a browser a person started.
        L"--disable-blink-features=AutomationControlled",
        L"--no-first-run",
        L"--no-default-browser-check",
        L"--disable-background-networking",
        L"--disable-component-update",
        L"--disable-sync",
        L"--disable-quic",
        L"--mute-audio",
        L"--disable-breakpad",
        // The page in the view runs at full speed although a headless browser is never focused
        // and its window never seen: timers, animations and load events are not held back.
        L"--disable-background-timer-throttling",
        L"--disable-backgrounding-occluded-windows",
        L"--disable-renderer-backgrounding",
        L"--disable-features=CalculateNativeWinOcclusion,IntensiveWakeUpThrottling,Translate",
        // The engine itself ends a page that stops answering; the browser's own hang dialog has
        // nobody to answer it.
        L"--disable-hang-monitor",
    };
    // The user's language, for the browser's own pages and what it offers sites.
    if (!settings.locale.empty()) {
        arguments.push_back(L"--lang=" + win::utf8_to_wide(settings.locale));
        arguments.push_back(L"--accept-lang=" + win::utf8_to_wide(devtools::accept_languages(settings.locale)));
    }
    if (settings.desktop.width > 0 && settings.desktop.height > 0)
        arguments.push_back(win::utf8_to_wide(
            devtools::screen_info_switch(settings.desktop.width, settings.desktop.height, settings.desktop.scale)));
    // As root on Linux (where a test machine runs it) the browser refuses to start sandboxed.
    if (unix_profile)
        arguments.push_back(L"--no-sandbox");
    // Workers of every kind take the user agent from here; the engine makes the client hints
    // agree with it.
    if (!settings.user_agent.empty())
        arguments.push_back(L"--user-agent=" + settings.user_agent);
    arguments.push_back(L"about:blank");
    if (!launch(settings.browser, arguments, linux_browser, number)) {
        failure = L"cannot start " + settings.browser;
        return false;
    }
    return true;
}

bool BrowserProcess::launch(const std::wstring& browser,
                            const std::vector<std::wstring>& arguments,
                            bool linux_program,
                            int number) {
    if (linux_program) {
        // The browser runs while this file exists (see end()). Its name is this host's and this
        // launch's: the shell of a browser that outlived an earlier launch or host removes its
        // own marker only.
        marker_ = profile_ + kRunningSuffix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(number);
        win::replace_file_contents(marker_, "");
        std::optional<std::wstring> command_line = wine::watched_command_line(browser, marker_);
        if (!command_line)
            return false;
        for (const std::wstring& argument : arguments)
            *command_line += L" " + win::quoted_argument(argument);
        return wine::start_linux_program(L"Z:\\bin\\sh", *command_line);
    }
    std::wstring command_line = win::quoted_argument(browser);
    for (const std::wstring& argument : arguments)
        command_line += L" " + win::quoted_argument(argument);
    job_.reset(CreateJobObjectW(nullptr, nullptr));
    if (job_) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(browser.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | (job_ ? CREATE_SUSPENDED : 0), nullptr, nullptr, &startup, &process))
        return false;
    if (job_)
        AssignProcessToJobObject(job_.get(), process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    process_.reset(process.hProcess);
    return true;
}

// Under Wine the browser's shell removes the marker once the browser has ended.
bool BrowserProcess::ended() const {
    return !marker_.empty() && !exists(marker_);
}

// Under Wine the marker tells; on Windows the process started, which is the browser's own (Edge
// and Chrome run their browser in the process started) or a stand-in that waits for it.
bool BrowserProcess::wait_for_end(DWORD timeout_ms) {
    if (process_)
        return WaitForSingleObject(process_.get(), timeout_ms) == WAIT_OBJECT_0;
    if (marker_.empty())
        return true;
    for (DWORD waited = 0; !ended() && waited < timeout_ms; waited += 50)
        Sleep(50);
    return ended();
}

std::optional<devtools::ActivePort> BrowserProcess::active_port() const {
    if (profile_.empty())
        return std::nullopt;
    std::optional<std::string> text = win::read_file_bytes(profile_ + L"\\DevToolsActivePort");
    return text ? devtools::parse_active_port(*text) : std::nullopt;
}

void BrowserProcess::end() {
    if (job_) {
        TerminateJobObject(job_.get(), 0);
        job_.reset();
    }
    if (process_)
        TerminateProcess(process_.get(), 0);
    process_.reset();
    // Under Wine the browser's shell ends the browser once its marker is gone.
    if (!marker_.empty())
        DeleteFileW(marker_.c_str());
    marker_.clear();
    profile_.clear();
}

}  // namespace quarnel::host
