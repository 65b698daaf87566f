#pragma once

// The command line the browser view starts the host with:
//
//   --Open-Ver=1.0 --Open-Handler=<n> --Open-View=<n> --open-cache-path="<text>" --open-user-agent="<text>" <extra>
//
// The options come in this order, separated by blanks; the two quoted values may be empty and
// are written verbatim (no escapes). The text is UTF-8 here: the host converts its wide command
// line before parsing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// The host program's file name, in the runtime folder beside the program and in its package.
inline constexpr wchar_t kHostProgramName[] = L"cefview(e_pair).exe";

struct HostCommandLine {
    int32_t handler = 0;     // handed back unchanged in the ready message
    int32_t view = 0;        // the browser view's window handle, never 0
    std::string cache_path;  // may be empty
    std::string user_agent;  // may be empty
    std::string extra;       // whatever follows, without its leading blanks
};

// The command line for `line`. It begins with a blank: it does not hold the program path.
std::string build_host_command_line(const HostCommandLine& line);

// The parsed command line, or nothing when it is malformed: an option missing, out of order or
// misspelt, a version other than 1.0, a number that is not a 32-bit decimal, a view of 0, or a
// value without its closing quote. A program path in front of the options (as a shell or a
// debugger puts there) is skipped.
std::optional<HostCommandLine> parse_host_command_line(std::string_view text);

}  // namespace quarnel
