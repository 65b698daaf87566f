#include "winbase/files.h"

#include "winbase/handles.h"

#include <windows.h>

#include <algorithm>
#include <new>

namespace quarnel::win {

void for_each_entry(const std::wstring& folder,
                    const wchar_t* pattern,
                    const std::function<void(const WIN32_FIND_DATAW& entry)>& visit) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
            visit(found);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring app_directory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return L".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::optional<std::string> read_file_bytes(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF)
        return std::nullopt;
    std::string data;
    try {
        data.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    size_t done = 0;
    while (done < data.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 24));
        DWORD got = 0;
        if (!ReadFile(file.get(), data.data() + done, chunk, &got, nullptr) || got == 0)
            return std::nullopt;
        done += got;
    }
    return data;
}

bool write_whole_file(const std::wstring& path, std::string_view bytes) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool write_file_to_disk(const std::wstring& temp, std::string_view bytes) {
    UniqueFile file(
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
        DWORD written = 0;
        ok = WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // The data must be on the disk before the new file takes the old one's name.
    if (!ok || !FlushFileBuffers(file.get())) {
        file.reset();
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

bool may_replace(const std::wstring& path) {
    // A read-only file is not to be written; replacing it by renaming would get round that.
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ||
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

bool move_into_place(const std::wstring& temp, const std::wstring& path) {
    if (MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temp.c_str());
    return false;
}

bool replace_file_contents(const std::wstring& path, const std::string& bytes) {
    if (!may_replace(path))
        return false;
    std::wstring temp = path + L".saving";
    return write_file_to_disk(temp, bytes) && move_into_place(temp, path);
}

std::optional<std::string> unix_path_under_wine(const std::wstring& path) {
    // Wine's kernel32 exports the conversion; Windows has no such function.
    using Convert = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = convert ? convert(path.c_str()) : nullptr;
    if (!unix)
        return std::nullopt;
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

// Wine's server opens the files a program opens, so Z:\\proc\\self\\stat would tell the server's
// number; but a path's attributes are looked up in the program's own process, so of the
// processes Linux lists, this one is the one that is a thread of "self".
std::optional<int> linux_process_id_under_wine() {
    if (!unix_path_under_wine(L"Z:\\proc"))
        return std::nullopt;
    std::optional<int> found;
    for_each_entry(L"Z:\\proc", L"*", [&](const WIN32_FIND_DATAW& entry) {
        int pid = _wtoi(entry.cFileName);
        std::wstring thread = L"Z:\\proc\\self\\task\\" + std::wstring(entry.cFileName);
        if (pid > 0 && GetFileAttributesW(thread.c_str()) != INVALID_FILE_ATTRIBUTES)
            found = pid;
    });
    return found;
}

}  // namespace quarnel::win
