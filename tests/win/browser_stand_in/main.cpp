// The browser stand-in: the host starts it as it starts Edge or Chrome on Windows. It appends its
// command line to "stand-in-command-lines.log" beside itself (UTF-8, one line a launch), then
// runs Debian's chromium with the same arguments, the folders among them given as Linux paths,
// and stays running as long as chromium does, as the browser's own process would. When the host's
// job ends this process, chromium ends too: it runs under a shell that watches this process.

#include "winbase/files.h"
#include "winbase/handles.h"
#include "winbase/text.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace quarnel;

// The arguments whose value is a folder, which a Linux program takes as a Linux path.
constexpr const wchar_t* kFolderSwitches[] = {L"--user-data-dir=", L"--disk-cache-dir="};

// The shell's script. It starts chromium ($0) with the arguments after two of its own, the
// Linux number of the process it watches and the marker file, and ends chromium once that process
// is gone. Once chromium has ended it removes the marker, which tells this program so: Wine gives
// a Windows program no handle to a Linux one. The loop waits for each sleep, so the shell reaps a
// chromium that was killed and sees it gone. The kill -9 held back for a chromium that outlives
// the plain kill is called off once chromium has ended: as a fork of the shell it carries the
// shell's command line, by which the tests see whether the browser still runs. Chromium's
// chatter goes nowhere: it must not hold the output of whoever started the host.
constexpr wchar_t kWatch[] =
    L"exec </dev/null >/dev/null 2>&1; watched=$1; marker=$2; shift 2; \"$0\" \"$@\" & browser=$!; "
    L"while kill -0 $watched && kill -0 $browser; do sleep 0.2 & wait $!; done; "
    L"kill $browser; (sleep 3; kill -9 $browser) & killer=$!; wait $browser; kill $killer; rm -f \"$marker\"";

void log_command_line(const std::wstring& folder) {
    win::UniqueFile log(CreateFileW((folder + L"\\stand-in-command-lines.log").c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    std::string line = win::wide_to_utf8(GetCommandLineW()) + "\n";
    DWORD written = 0;
    if (log)
        WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// Chromium's arguments: this program's own with Linux paths for folders, and without the sandbox,
// which chromium refuses to use as root (the test machine's user). Nothing when a folder has no
// Linux path.
std::optional<std::vector<std::wstring>> chromium_arguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv)
        return std::nullopt;
    std::vector<std::wstring> arguments = {L"--no-sandbox"};
    bool translated = true;
    for (int i = 1; i < count; ++i) {
        std::wstring argument = argv[i];
        for (const wchar_t* folder_switch : kFolderSwitches) {
            if (!argument.starts_with(folder_switch))
                continue;
            std::optional<std::string> unix = win::unix_path_under_wine(argument.substr(wcslen(folder_switch)));
            translated = translated && unix;
            argument = folder_switch + win::utf8_to_wide(unix.value_or(""));
        }
        arguments.push_back(argument);
    }
    LocalFree(argv);
    return translated ? std::optional(arguments) : std::nullopt;
}

bool start_watched_chromium(const std::vector<std::wstring>& arguments, int watched, const std::string& marker) {
    std::wstring command_line = win::quoted_argument(L"Z:\\bin\\sh") + L" -c " + win::quoted_argument(kWatch) +
                                L" /usr/bin/chromium " + std::to_wstring(watched) + L" " +
                                win::quoted_argument(win::utf8_to_wide(marker));
    for (const std::wstring& argument : arguments)
        command_line += L" " + win::quoted_argument(argument);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // The handles Wine hands back for a Linux program name nothing of it (the thread's is another
    // object's number of this process): they are neither used nor closed.
    return CreateProcessW(L"Z:\\bin\\sh", command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &process) != FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring folder = win::app_directory();
    log_command_line(folder);
    std::optional<std::vector<std::wstring>> arguments = chromium_arguments();
    std::optional<int> self = win::linux_process_id_under_wine();
    std::wstring marker = folder + L"\\stand-in-" + std::to_wstring(GetCurrentProcessId()) + L".running";
    if (!arguments || !self || !win::replace_file_contents(marker, ""))
        return 1;
    std::optional<std::string> unix_marker = win::unix_path_under_wine(marker);
    if (!unix_marker || !start_watched_chromium(*arguments, *self, *unix_marker)) {
        DeleteFileW(marker.c_str());
        return 1;
    }
    while (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES)
        Sleep(100);
    return 0;
}
