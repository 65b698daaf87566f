#pragma once

// Reading a ZIP archive and unpacking it entry by entry through a sink that owns the writing.
// The archive is read with minizip through an I/O table, so the same loop serves files on
// Windows and archives held in memory (tests, fuzzing). Entry names are 8-bit text in the ANSI
// code page (GBK); the sink places them under its destination folder.

#include <ioapi.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel {

// Bytes read from the start of an archive for the quick check before opening it.
inline constexpr size_t kZipHeadCheckBytes = 32;
// Inflated data is handed to the sink in pieces of at most this size.
inline constexpr size_t kUnpackChunkBytes = 16384;

// The check made before opening an archive: at least 32 bytes long, starting with a local file
// header signature ("PK", 3, 4), and the signed little-endian 32-bit value at offset 24 at
// least 1. `head` holds the first bytes of the file (up to kZipHeadCheckBytes).
bool zip_head_looks_valid(std::string_view head, uint64_t file_length);

// Why an entry name cannot be unpacked under a destination folder.
enum class EntryNameFault {
    none,
    empty,
    absolute,       // starts with a separator: would land at the drive's root
    drive,          // starts with a drive letter
    parent_step,    // has a ".." component: would climb out of the destination
    bad_component,  // an empty component, or one ending in a dot or a space
    bad_character,  // a control character or one of < > : " | ? *
    reserved_name,  // a device name such as CON, NUL, COM1
};

// Checks a name as stored in the archive ("/" separators, a trailing "/" for a directory). The
// name is scanned as double-byte text, so a trail byte that happens to equal "\" or "|" is
// part of its character, not a separator or a forbidden character.
EntryNameFault check_entry_name(std::string_view name);

// The entry name as a path relative to the destination folder: every "/" replaced by "\".
std::string entry_relative_path(std::string_view name);

// The folders to create, outermost first, so that `path` exists as a folder: every prefix of
// the path ending before a separator ("\" or "/"), and the whole path. A drive ("C:"), the
// root and a UNC share ("\\server\share") are never in the list; a trailing separator adds
// nothing. 8-bit paths are scanned as double-byte text, so a trail byte equal to "\" does not
// split a character.
std::vector<std::string> directory_chain(std::string_view path);
std::vector<std::wstring> directory_chain(std::wstring_view path);

// One entry as the sink sees it.
struct ZipEntry {
    std::string name;           // as stored
    std::string relative_path;  // where it goes under the destination (entry_relative_path)
    bool is_directory = false;
    uint32_t attributes = 0;     // the entry's DOS file attributes (read-only, hidden, system, archive)
    uint32_t dos_date_time = 0;  // MS-DOS date in the high word, time in the low word, local time
    uint64_t size = 0;           // declared unpacked size
};

// How far the unpacking has come.
struct UnpackCount {
    int done = 0;   // entries finished, the last one included
    int total = 0;  // entries in the archive
    int percent = 0;
};

// Where unpacked entries go. Every call but entry_done reports success; a false stops the
// unpacking.
class ZipEntrySink {
public:
    virtual ~ZipEntrySink() = default;
    // Makes the folder of a directory entry, with its missing parents.
    virtual bool make_directory(const ZipEntry& entry) = 0;
    // Creates (or truncates) the file of a file entry, with its missing parent folders.
    virtual bool open_file(const ZipEntry& entry) = 0;
    virtual bool write(const unsigned char* data, size_t size) = 0;
    // Ends the file opened last. `complete` is false when its data failed: the sink drops the
    // partial file rather than leave a damaged one under the entry's name.
    virtual bool close_file(const ZipEntry& entry, bool complete) = 0;
    virtual void entry_done(const ZipEntry& entry, const UnpackCount& count) = 0;
};

// Unpacks every entry of the archive that `io` opens under `archive` (the file name handed to
// io's open function) through `sink`, in archive order. Returns 1 when every entry was
// unpacked, 0 when the archive failed the head check, could not be opened, has no entries, or
// an entry could not be unpacked (an unsafe name, a read, inflate, size or CRC failure, or the
// sink refused). Entries finished before a failure stay where the sink put them.
int unpack_zip(zlib_filefunc64_def* io, const void* archive, ZipEntrySink& sink);

// What the central directory records of one file entry: enough to tell whether a file on disk
// already holds the entry's data without unpacking it.
struct ZipEntryStamp {
    uint32_t crc = 0;   // CRC-32 of the unpacked data
    uint64_t size = 0;  // unpacked size
};

// The stamp of the entry named exactly `name` (case counts) in the archive that `io` opens under
// `archive`. Only the archive's end record and central directory are read, never an entry's
// data, so the values are the directory's as stored. Nothing when the archive cannot be opened
// or holds no file of that name.
std::optional<ZipEntryStamp> find_zip_entry_stamp(zlib_filefunc64_def* io,
                                                  const void* archive,
                                                  const std::string& name);

// An archive held in memory, readable through minizip. The bytes must outlive every use of
// io(); open it by passing name() as the archive.
class MemoryZipSource {
public:
    explicit MemoryZipSource(std::string_view bytes);
    MemoryZipSource(const MemoryZipSource&) = delete;
    MemoryZipSource& operator=(const MemoryZipSource&) = delete;
    zlib_filefunc64_def* io() { return &io_; }
    const void* name() const { return &bytes_; }

private:
    std::string_view bytes_;
    zlib_filefunc64_def io_;
};

}  // namespace quarnel
