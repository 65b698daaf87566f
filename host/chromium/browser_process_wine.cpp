// The browser under Wine: Debian's chromium is a Linux program, started through the Linux shell
// so that it ends with the host, and given Linux paths.

#include "host/chromium/browser_process.h"

#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel::host::wine {

bool is_linux_program(const std::wstring& program) {
    if (!win::unix_path_under_wine(program))
        return false;
    win::UniqueFile file(
        CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char magic[2] = {};
    DWORD read = 0;
    return file && ReadFile(file.get(), magic, sizeof(magic), &read, nullptr) &&
           !(read == 2 && magic[0] == 'M' && magic[1] == 'Z');
}

std::optional<std::wstring> watched_command_line(const std::wstring& program, const std::wstring& marker) {
    std::optional<std::string> unix_program = win::unix_path_under_wine(program);
    std::optional<std::string> unix_marker = win::unix_path_under_wine(marker);
    // The loop ends the browser when the host's process (its Linux number) is gone, or the host
    // removed the marker file (it ends the browser: Wine gives it no handle to the Linux
    // process). Wine starts Linux programs detached, so the shell's parent is not the host. The
    // loop waits for each sleep, so the shell reaps a browser that was killed and sees it gone.
    // The shell writes its own number into the marker, so that a later host can tell that a
    // browser still runs in the profile. Once the browser has ended, the shell removes the
    // marker, which tells the host that the browser ended; the profile stays for the next start.
    // The kill held back for a browser that outlives the plain one is called off once it ended. The browser's chatter
    // goes nowhere: it must not hold the output of whoever started the program.
    std::optional<int> host = win::linux_process_id_under_wine();
    if (!unix_program || !unix_marker || !host)
        return std::nullopt;
    const wchar_t kWatch[] =
        L"exec </dev/null >/dev/null 2>&1; host=$1; marker=$2; shift 2; echo $$ > \"$marker\"; "
        L"\"$0\" \"$@\" & browser=$!; "
        L"while kill -0 $host && kill -0 $browser && [ -e \"$marker\" ]; do sleep 0.2 & wait $!; done; "
        L"kill $browser; (sleep 3; kill -9 $browser) & killer=$!; wait $browser; kill $killer; rm -f \"$marker\"";
    return win::quoted_argument(L"Z:\\bin\\sh") + L" -c " + win::quoted_argument(kWatch) + L" " +
           win::quoted_argument(win::utf8_to_wide(*unix_program)) + L" " + std::to_wstring(*host) + L" " +
           win::quoted_argument(win::utf8_to_wide(*unix_marker));
}

bool start_linux_program(const wchar_t* program, std::wstring command_line) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    // Wine starts a Linux program without a Windows process: the handles it hands back name
    // nothing of it (the thread's is a stale number, another object's of this process), so they
    // are neither used nor closed.
    return CreateProcessW(program, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process) != FALSE;
}

void remove_with_unix_shell(const std::wstring& folder) {
    std::optional<std::string> unix_folder = win::unix_path_under_wine(folder);
    if (!unix_folder)
        return;
    std::wstring command_line =
        win::quoted_argument(L"Z:\\bin\\rm") + L" -rf -- " + win::quoted_argument(win::utf8_to_wide(*unix_folder));
    if (!start_linux_program(L"Z:\\bin\\rm", command_line))
        return;
    for (int i = 0; i < 40 && GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(25);
}

}  // namespace quarnel::host::wine
