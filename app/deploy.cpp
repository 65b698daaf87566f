#include "app/deploy.h"

#include "winbase/files.h"

#include "winbase/handles.h"
#include "winbase/text.h"

#include <windows.h>

#include <iowin32.h>
#include <zlib.h>

#include <optional>

namespace quarnel {

namespace {

// Name and type of the package resource (resources/runtime_package.rc).
constexpr wchar_t kPackageResourceName[] = L"RUNTIME_PACKAGE";
// The host program on disk is read in pieces of this size for its CRC.
constexpr size_t kCrcChunkBytes = 256 * 1024;

bool is_directory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates the folders of `chain` (outermost first) that do not exist yet.
bool create_chain(const std::vector<std::wstring>& chain) {
    for (const std::wstring& dir : chain) {
        if (is_directory(dir))
            continue;
        // Another process may have made it meanwhile; only a folder that still is not there
        // is a failure.
        if (!CreateDirectoryW(dir.c_str(), nullptr) && !is_directory(dir))
            return false;
    }
    return true;
}

std::wstring full_path(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return {};
    std::wstring full(size, L'\0');
    DWORD written = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(written < size ? written : 0);
    return full;
}

// Local DOS date and time of a ZIP entry as a file time, or false when they are not a date.
bool entry_file_time(uint32_t dos_date_time, FILETIME& out) {
    FILETIME local;
    return DosDateTimeToFileTime(HIWORD(dos_date_time), LOWORD(dos_date_time), &local) &&
           LocalFileTimeToFileTime(&local, &out);
}

// Writes the entries of an archive under one destination folder.
class FolderSink : public ZipEntrySink {
public:
    // `dest_full` is the destination as Windows resolves it, with a trailing backslash.
    FolderSink(std::wstring dest_full, const ZipUnpacker::ProgressHandler& on_progress)
        : dest_(std::move(dest_full)), on_progress_(on_progress) {}

    bool make_directory(const ZipEntry& entry) override {
        path_ = output_path(entry);
        return inside_destination(path_) && create_chain(folders_below_dest(path_));
    }

    bool open_file(const ZipEntry& entry) override {
        path_ = output_path(entry);
        if (path_.size() >= MAX_PATH || !inside_destination(path_))
            return false;
        std::vector<std::wstring> parents = folders_below_dest(path_);
        if (!parents.empty())
            parents.pop_back();
        if (!create_chain(parents))
            return false;
        DWORD attributes = entry.attributes != 0 ? entry.attributes : FILE_ATTRIBUTE_NORMAL;
        file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
        // An older copy that is read-only (or hidden or system) refuses to be replaced until
        // its attributes are normal. They are reset only then: touching the attributes of a
        // file that does not exist yet costs a failed path lookup for every new file.
        if (!file_ && GetLastError() == ERROR_ACCESS_DENIED &&
            SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL)) {
            file_.reset(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr));
        }
        return static_cast<bool>(file_);
    }

    bool write(const unsigned char* data, size_t size) override {
        DWORD written = 0;
        return WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    }

    bool close_file(const ZipEntry& entry, bool complete) override {
        if (!complete) {
            // A file whose data failed is not left behind under the entry's name: it could be
            // the host program, whose mere presence stops every later deployment.
            file_.reset();
            DeleteFileW(path_.c_str());
            return true;
        }
        FILETIME time;
        if (entry_file_time(entry.dos_date_time, time))
            SetFileTime(file_.get(), &time, &time, &time);
        file_.reset();
        SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        return true;
    }

    void entry_done(const ZipEntry&, const UnpackCount& count) override {
        if (on_progress_)
            on_progress_(UnpackProgress{count.done, count.total, path_, count.percent});
    }

private:
    std::wstring output_path(const ZipEntry& entry) const { return dest_ + win::ansi_to_wide(entry.relative_path); }

    // The last line of defence after the name check: the path, as Windows resolves it, lies
    // under the destination folder.
    bool inside_destination(const std::wstring& path) const {
        std::wstring full = full_path(path);
        return full.size() > dest_.size() && full.compare(0, dest_.size(), dest_) == 0;
    }

    // The folders from below the destination down to `path` itself. The destination was made
    // before unpacking.
    std::vector<std::wstring> folders_below_dest(const std::wstring& path) const {
        std::vector<std::wstring> chain = directory_chain(path);
        std::erase_if(chain, [this](const std::wstring& dir) { return dir.size() < dest_.size(); });
        return chain;
    }

    std::wstring dest_;
    const ZipUnpacker::ProgressHandler& on_progress_;
    std::wstring path_;  // of the entry being written
    win::UniqueFile file_;
};

// CRC-32 of the whole file at `path`, or nothing when it cannot be read.
std::optional<uint32_t> file_crc32(const std::wstring& path) {
    win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return std::nullopt;
    std::vector<unsigned char> buffer(kCrcChunkBytes);
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return std::nullopt;
        if (got == 0)
            return static_cast<uint32_t>(crc);
        crc = crc32(crc, buffer.data(), got);
    }
}

// Whether the host program found on disk is the one the package carries, by the CRC-32 and size
// its central directory records for it. A package without that entry (or none at all) has
// nothing to compare with, so the host counts as matching. The size is compared first: a host
// of another size is never read.
bool host_matches_package(const std::wstring& host, const WIN32_FIND_DATAW& found, std::string_view package) {
    MemoryZipSource source(package);
    std::optional<ZipEntryStamp> stamp =
        find_zip_entry_stamp(source.io(), source.name(), win::wide_to_ansi(kHostProgramName));
    if (!stamp)
        return true;
    const uint64_t size = uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
    return size == stamp->size && file_crc32(host) == stamp->crc;
}

}  // namespace

int ZipUnpacker::unpack_archive(const std::wstring& archive_path, const std::wstring& dest_dir) {
    if (archive_path.empty() || dest_dir.empty())
        return -1;
    DWORD attributes = GetFileAttributesW(archive_path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return -1;
    if (!create_chain(directory_chain(dest_dir)))
        return 0;
    std::wstring dest_full = full_path(dest_dir);
    if (dest_full.empty())
        return 0;
    if (dest_full.back() != L'\\')
        dest_full += L'\\';

    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    FolderSink sink(std::move(dest_full), on_progress);
    return unpack_zip(&io, archive_path.c_str(), sink);
}

std::string_view embedded_runtime_package(HMODULE module) {
    if (!module)
        module = GetModuleHandleW(nullptr);
    HRSRC resource = FindResourceW(module, kPackageResourceName, RT_RCDATA);
    if (!resource)
        return {};
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    return std::string_view(static_cast<const char*>(bytes), SizeofResource(module, resource));
}

int deploy_runtime_package(const std::wstring& app_dir,
                           std::string_view package,
                           const ZipUnpacker::ProgressHandler& on_progress) {
    const std::wstring runtime_dir = app_dir + L"\\" + kRuntimeDirName + L"\\";
    const std::wstring host = runtime_dir + kHostProgramName;
    // Only the host program is looked at: a damaged or incomplete runtime beside a host that
    // matches the package is left as it is, and so is a folder of the host's name.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(host.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || host_matches_package(host, found, package))
            return kRuntimeAlreadyDeployed;
    }
    // When the write fails the unpacker finds no archive, or a damaged one, and says so.
    const std::wstring temp_archive = app_dir + L"\\" + kTempArchiveName;
    win::write_whole_file(temp_archive, package);
    ZipUnpacker unpacker;
    unpacker.on_progress = on_progress;
    return unpacker.unpack_archive(temp_archive, runtime_dir);
}

int deploy_browser_runtime(const std::wstring& app_dir, const ZipUnpacker::ProgressHandler& on_progress) {
    return deploy_runtime_package(app_dir, embedded_runtime_package(), on_progress);
}

}  // namespace quarnel
