#pragma once

// File operations of the program. Paths are wide: the program's folder may hold any character.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel::win {

// Calls `visit` for each entry of `folder` whose name matches `pattern` ("*" for all), but "." and
// "..". Nothing when the folder cannot be read.
void for_each_entry(const std::wstring& folder,
                    const wchar_t* pattern,
                    const std::function<void(const WIN32_FIND_DATAW& entry)>& visit);

// The folder holding the program file, without a trailing backslash.
std::wstring app_directory();

// Under Wine, the Linux path (UTF-8) of a Windows path; nothing elsewhere, or when it has none.
std::optional<std::string> unix_path_under_wine(const std::wstring& path);

// Under Wine, this process's number on the Linux side; nothing elsewhere.
std::optional<int> linux_process_id_under_wine();

// The whole file as bytes; nothing when it cannot be opened or read to its full size.
std::optional<std::string> read_file_bytes(const std::wstring& path);

// Writes `bytes` to `path`, creating or truncating the file, opened exclusively. False when the
// file cannot be created or not every byte was written.
bool write_whole_file(const std::wstring& path, std::string_view bytes);

// Writes `bytes` as the whole new content of `path`. The bytes go to a temporary file beside it
// first, which then replaces the old file in one step, so a crash or power cut mid-write leaves
// either the old file or the new one, never a truncated one. On failure the old file stays as
// it was and the temporary file is removed.
bool replace_file_contents(const std::wstring& path, const std::string& bytes);

// The two steps of a replacement, for a caller that replaces several files together:
// writes `bytes` as a new file at `temp` (replacing any file there) and makes sure they reach the
// disk, leaving no file at `temp` on failure;
bool write_file_to_disk(const std::wstring& temp, std::string_view bytes);
// whether `path` may be replaced: no file there, or one that is neither read-only nor a folder;
bool may_replace(const std::wstring& path);
// gives `temp` the name `path` in one step, replacing the file there; on failure `temp` is
// removed.
bool move_into_place(const std::wstring& temp, const std::wstring& path);

}  // namespace quarnel::win
