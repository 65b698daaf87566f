#include "host/browser_process.h"

#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel::host {

namespace {

constexpr wchar_t kProfilePrefix[] = L"browser-profile-";

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

std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

void delete_folder(const std::wstring& folder) {
    delete_tree(folder);
    if (exists(folder))
        wine::remove_with_unix_shell(folder);
}

void delete_left_profiles(const std::wstring& base) {
    std::vector<std::wstring> left;
    win::for_each_entry(base, (std::wstring(kProfilePrefix) + L"*").c_str(), [&](const WIN32_FIND_DATAW& found) {
        // A browser of theirs still holding one has ended with them.
        DWORD pid = wcstoul(found.cFileName + wcslen(kProfilePrefix), nullptr, 10);
        win::UniqueKernelHandle owner(OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (pid != GetCurrentProcessId() && (!owner || WaitForSingleObject(owner.get(), 0) == WAIT_OBJECT_0))
            left.push_back(base + L"\\" + found.cFileName);
    });
    for (const std::wstring& folder : left)
        delete_folder(folder);
}

bool BrowserProcess::start(const std::wstring& browser,
                           const std::wstring& profile,
                           const std::wstring& user_agent,
                           std::wstring& failure) {
    end();
    delete_folder(profile);
    if (!CreateDirectoryW(profile.c_str(), nullptr)) {
        failure = L"cannot make the profile folder " + profile;
        return false;
    }
    profile_ = profile;
    bool linux_browser = wine::is_linux_program(browser);
    std::optional<std::string> unix_profile = linux_browser ? win::unix_path_under_wine(profile) : std::nullopt;
    if (linux_browser && !unix_profile) {
        failure = L"no Linux path for the profile folder " + profile;
        return false;
    }
    std::vector<std::wstring> arguments = {
        L"--headless=new",
        L"--remote-debugging-port=0",
        L"--user-data-dir=" + (unix_profile ? win::utf8_to_wide(*unix_profile) : profile),
        L"--no-first-run",
        L"--no-default-browser-check",
        L"--disable-background-networking",
        L"--disable-component-update",
        L"--disable-sync",
        L"--disable-quic",
        L"--mute-audio",
        L"--disable-breakpad",
        // Pop-ups reach the application, which decides where they open (Page.windowOpen).
        L"--disable-popup-blocking",
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
    // As root on Linux (where a test machine runs it) the browser refuses to start sandboxed.
    if (unix_profile)
        arguments.push_back(L"--no-sandbox");
    if (!user_agent.empty())
        arguments.push_back(L"--user-agent=" + user_agent);
    arguments.push_back(L"about:blank");
    if (!launch(browser, arguments, linux_browser)) {
        failure = L"cannot start " + browser;
        return false;
    }
    return true;
}

bool BrowserProcess::launch(const std::wstring& browser,
                            const std::vector<std::wstring>& arguments,
                            bool linux_program) {
    if (linux_program) {
        // The browser runs while this file exists (see end()).
        marker_ = profile_ + L".running";
        win::replace_file_contents(marker_, "");
        std::optional<std::wstring> command_line = wine::watched_command_line(browser, marker_);
        if (!command_line)
            return false;
        for (const std::wstring& argument : arguments)
            *command_line += L" " + quoted(argument);
        return wine::start_linux_program(L"Z:\\bin\\sh", *command_line);
    }
    std::wstring command_line = quoted(browser);
    for (const std::wstring& argument : arguments)
        command_line += L" " + quoted(argument);
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
    if (!marker_.empty()) {
        // Under Wine the browser's shell ends it and then removes its profile; when the shell
        // itself was killed with the browser, what is left goes now.
        DeleteFileW(marker_.c_str());
        marker_.clear();
        delete_folder(profile_);
        profile_.clear();
        return;
    }
    if (profile_.empty())
        return;
    // The browser may still hold files for a moment after it ended.
    for (int i = 0; i < 10 && exists(profile_); ++i) {
        delete_tree(profile_);
        if (exists(profile_))
            Sleep(100);
    }
    profile_.clear();
}

std::wstring profile_folder(const std::wstring& base) {
    return base + L"\\" + kProfilePrefix + std::to_wstring(GetCurrentProcessId());
}

}  // namespace quarnel::host
