#pragma once

// The browser the engine drives: its profile folder, its process, and the DevTools port it
// writes once it listens. On Windows the browser runs in a job that ends it when the host's last
// handle goes, however the host ends. Under Wine, Debian's chromium (a Linux program) runs under
// a shell that ends it once the host's process is gone (browser_process_wine.cpp).

#include "core/devtools_endpoints.h"
#include "winbase/handles.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quarnel::host {

// One argument of a command line, quoted so that the receiving side splits it back unchanged.
std::wstring quoted(const std::wstring& argument);

// Deletes the folder and everything in it, as far as it can; under Wine what Wine's own file
// functions cannot see (the dangling link a killed browser leaves as its profile lock) goes too.
void delete_folder(const std::wstring& folder);

// This host's profile folder under `base`.
std::wstring profile_folder(const std::wstring& base);

// Profile folders under `base` of hosts that ended without clearing theirs (a crash).
void delete_left_profiles(const std::wstring& base);

class BrowserProcess {
public:
    ~BrowserProcess() { end(); }

    // Starts `browser` with a new, empty profile in `profile` (made here; a folder left by an
    // earlier run of the browser is cleared first) and the launch flags the engine needs. Under
    // Wine the profile is removed once the browser has ended, so a browser started again takes
    // a folder of another name.
    // `user_agent` may be empty. False, with the reason in `failure`, when it could not start.
    bool start(const std::wstring& browser,
               const std::wstring& profile,
               const std::wstring& user_agent,
               std::wstring& failure);

    // Whether the browser started last is known to have ended. Under Wine its shell says so; on
    // Windows the process started here may hand over to another (Edge starting itself again),
    // so only the browser's port tells.
    bool ended() const;

    // The port and path the browser listens on, once it has written them; nothing before.
    std::optional<devtools::ActivePort> active_port() const;

    // Ends the browser now (the graceful way, Browser.close, is the engine's) and removes its
    // profile folder.
    void end();

private:
    bool launch(const std::wstring& browser, const std::vector<std::wstring>& arguments, bool linux_program);

    win::UniqueKernelHandle job_;
    win::UniqueKernelHandle process_;
    std::wstring profile_;
    std::wstring marker_;  // under Wine: the browser runs while this file exists
};

// Under Wine (browser_process_wine.cpp).
namespace wine {
// Whether `program` is a Linux program seen from Wine (Debian's chromium), not a Windows one
// installed in Wine's drives: it then takes Linux paths and runs under the watching shell.
bool is_linux_program(const std::wstring& program);
// The command line that runs the Linux `program` under a shell that ends it once this process
// is gone or the file `marker` is, and then removes the folder named as `marker` without its
// ".running", and `marker`; nothing when this does not run under Wine.
std::optional<std::wstring> watched_command_line(const std::wstring& program, const std::wstring& marker);
// Starts the Linux `program` with `command_line` (which names the program first); false when it
// could not be started. Nothing of it can be waited for or ended from here.
bool start_linux_program(const wchar_t* program, std::wstring command_line);
// Removes the folder with the Linux rm and waits a moment for it to go.
void remove_with_unix_shell(const std::wstring& folder);
}  // namespace wine

}  // namespace quarnel::host
