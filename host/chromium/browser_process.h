#pragma once

// The browser the engine drives: its profile folder, its process, and the DevTools port it
// writes once it listens. On Windows the browser runs in a job that ends it when the host's last
// handle goes, however the host ends. Under Wine, Debian's chromium (a Linux program) runs under
// a shell that ends it once the host's process is gone (browser_process_wine.cpp).

#include "devtools/devtools_endpoints.h"
#include "host/chromium/chromium_engine.h"
#include "winbase/handles.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quarnel::host {

// Deletes the folder and everything in it, as far as it can; under Wine what Wine's own file
// functions cannot see (the dangling link a killed browser leaves as its profile lock) goes too.
void delete_folder(const std::wstring& folder);

// The browser's lasting profile under `base` (the cache folder): cookies, storage, the cache and
// site permissions stay there from one start to the next, as in any browser.
std::wstring profile_folder(const std::wstring& base);

// Whether `profile` holds a profile a browser has used (not a new, empty folder).
bool profile_used(const std::wstring& profile);

// Whether a browser still runs with `profile` (as one left by an earlier run may, for a moment,
// or one of another copy of the program in the same folder).
bool profile_locked(const std::wstring& profile);

// Moves `profile` aside, beside itself under a name with the time in it, so that a new one can
// be made in its place while nothing of the user's is lost; the new name, or nothing when it
// could not be moved.
std::optional<std::wstring> move_profile_aside(const std::wstring& profile);

// Removes the temporary profile folders that hosts of earlier versions left under `base` when
// they ended without clearing up.
void delete_left_profiles(const std::wstring& base);

// What a browser is started with.
struct BrowserLaunch {
    std::wstring browser;     // its program file
    std::wstring profile;     // its lasting profile folder, made when missing
    std::wstring user_agent;  // empty: its own
    std::string locale;       // of the user's interface; empty: its own
    Desktop desktop;          // the screen its pages are shown on
};

class BrowserProcess {
public:
    ~BrowserProcess() { end(); }

    // Starts the browser with its profile and the launch flags the engine needs. The port the
    // browser wrote there last time is removed first. `number` tells this launch from the
    // host's others. False, with the reason in `failure`, when it could not start.
    bool start(const BrowserLaunch& launch, int number, std::wstring& failure);

    // Whether the browser started last is known to have ended. Under Wine its shell says so; on
    // Windows the process started here may hand over to another (Edge starting itself again),
    // so only the browser's port tells.
    bool ended() const;

    // Waits up to `timeout_ms` for the browser started last to end by itself; whether it did.
    bool wait_for_end(DWORD timeout_ms);

    // The port and path the browser listens on, once it has written them; nothing before.
    std::optional<devtools::ActivePort> active_port() const;

    // Ends the browser now (the graceful way, Browser.close, is the engine's); its profile stays.
    void end();

private:
    bool launch(const std::wstring& browser,
                const std::vector<std::wstring>& arguments,
                bool linux_program,
                int number);

    win::UniqueKernelHandle job_;
    win::UniqueKernelHandle process_;
    std::wstring profile_;  // of the browser started last, while it may run
    std::wstring marker_;   // under Wine: the browser runs while this file exists
};

// Under Wine (browser_process_wine.cpp).
namespace wine {
// Whether `program` is a Linux program seen from Wine (Debian's chromium), not a Windows one
// installed in Wine's drives: it then takes Linux paths and runs under the watching shell.
bool is_linux_program(const std::wstring& program);
// The command line that runs the Linux `program` under a shell that ends it once this process
// is gone or the file `marker` is, and then removes `marker`; nothing when this does not run
// under Wine.
std::optional<std::wstring> watched_command_line(const std::wstring& program, const std::wstring& marker);
// Starts the Linux `program` with `command_line` (which names the program first); false when it
// could not be started. Nothing of it can be waited for or ended from here.
bool start_linux_program(const wchar_t* program, std::wstring command_line);
// Removes the folder with the Linux rm and waits a moment for it to go.
void remove_with_unix_shell(const std::wstring& folder);
}  // namespace wine

}  // namespace quarnel::host
