#pragma once

// Deployment of the browser runtime: the package embedded in the program is written out as
// a temporary archive and unpacked into the runtime folder beside the program, unless the
// browser host program there already is the one the package carries.

#include "core/zip_archive.h"

#include "core/host_command_line.h"

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace quarnel {

// Names beside the program.
inline constexpr wchar_t kRuntimeDirName[] = L"ziroz";
inline constexpr wchar_t kTempArchiveName[] = L"cxtemp.zip";

// Raised after each unpacked entry.
struct UnpackProgress {
    int done = 0;            // entries finished, this one included
    int total = 0;           // entries in the archive
    std::wstring_view path;  // where the entry just finished was written
    int percent = 0;
};

// The ZIP component: unpacks an archive file into a folder.
class ZipUnpacker {
public:
    using ProgressHandler = std::function<void(const UnpackProgress&)>;

    // Raised after each entry; may be left empty.
    ProgressHandler on_progress;

    // Unpacks every entry of the archive at `archive_path` into `dest_dir`, creating the folder
    // and its missing parents first. Returns 1 when every entry was unpacked; 0 when a folder
    // cannot be created or the archive fails its check, cannot be opened or an entry cannot
    // be unpacked (an entry whose name would leave `dest_dir` is refused this way); -1 when a
    // path is empty or no file exists at `archive_path`. Files finished before a failure stay.
    // Existing files are replaced, read-only ones included; other files in the folder stay.
    int unpack_archive(const std::wstring& archive_path, const std::wstring& dest_dir);
};

// Result of deploy_browser_runtime when the host program was found and nothing was done.
inline constexpr int kRuntimeAlreadyDeployed = 2;

// Deploys the embedded runtime package into app_dir\ziroz unless
// app_dir\ziroz\cefview(e_pair).exe is already there as the package carries it: a file of the
// CRC-32 and size the package's directory records for that entry, or a folder of that name
// (nothing else is checked). A host that differs (the program was replaced by another version)
// is unpacked over like a first start; one that cannot be replaced because a running host holds
// it makes the unpacking fail and stays for this start. The package is written to
// app_dir\cxtemp.zip, which is left for the caller to delete, and unpacked from there.
// `app_dir` has no trailing backslash. Returns kRuntimeAlreadyDeployed, or the unpacker's
// result.
int deploy_browser_runtime(const std::wstring& app_dir, const ZipUnpacker::ProgressHandler& on_progress = {});

// The same with the package bytes given by the caller.
int deploy_runtime_package(const std::wstring& app_dir,
                           std::string_view package,
                           const ZipUnpacker::ProgressHandler& on_progress = {});

// The runtime package embedded in `module` (the running program when null); empty when it
// has none.
std::string_view embedded_runtime_package(HMODULE module = nullptr);

}  // namespace quarnel
