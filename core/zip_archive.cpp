#include "core/zip_archive.h"

#include "core/dbcs.h"
#include "core/le_bytes.h"
#include "core/url_lines.h"

#include <unzip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace quarnel {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kDirectoryAttribute = 0x10;
// Read-only, hidden, system and archive: the attributes a file may be created with.
constexpr uint32_t kFileAttributeMask = 0x27;
constexpr uint16_t kEncryptedFlag = 0x0001;

template <typename Char>
bool is_separator(Char c) {
    return c == Char{'/'} || c == Char{'\\'};
}

// Splits at "/" and "\", stepping over double-byte characters whole.
std::vector<std::string_view> split_components(std::string_view name) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    size_t i = 0;
    while (i < name.size()) {
        if (is_separator(name[i])) {
            parts.push_back(name.substr(start, i - start));
            start = ++i;
        } else {
            i += cp936_char_length(name, i);
        }
    }
    parts.push_back(name.substr(start, std::min(i, name.size()) - start));
    return parts;
}

bool has_forbidden_character(std::string_view part) {
    for (size_t i = 0; i < part.size();) {
        if (cp936_char_length(part, i) == 2) {
            i += 2;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(part[i]);
        if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr)
            return true;
        ++i;
    }
    return false;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
           });
}

// Windows opens a device rather than a file for these names, with or without an extension.
bool is_device_name(std::string_view part) {
    std::string_view base = part.substr(0, part.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (equals_ignoring_case(base, device))
            return true;
    }
    if (base.size() == 4 && base[3] >= '0' && base[3] <= '9' &&
        (equals_ignoring_case(base.substr(0, 3), "COM") || equals_ignoring_case(base.substr(0, 3), "LPT")))
        return true;
    return false;
}

// The archive's file stays open as long as the unzFile.
struct ZipFile {
    unzFile file = nullptr;
    ~ZipFile() {
        if (file)
            unzClose(file);
    }
};

// A read-only I/O table for minizip; writes write nothing.
uLong ZCALLBACK write_nothing(voidpf, voidpf, const void*, uLong) {
    return 0;
}

zlib_filefunc64_def read_only_io(open64_file_func open,
                                 read_file_func read,
                                 tell64_file_func tell,
                                 seek64_file_func seek,
                                 close_file_func close,
                                 testerror_file_func error,
                                 voidpf opaque) {
    zlib_filefunc64_def io{};
    io.zopen64_file = open;
    io.zread_file = read;
    io.zwrite_file = write_nothing;
    io.ztell64_file = tell;
    io.zseek64_file = seek;
    io.zclose_file = close;
    io.zerror_file = error;
    io.opaque = opaque;
    return io;
}

// minizip reads the fields of every header one byte at a time. Each of those reads would be
// a system call on a file, so the reads go through a buffer; reads of a buffer's size or more
// (the compressed data) go straight to the file.
class BufferedIo {
public:
    explicit BufferedIo(zlib_filefunc64_def* inner)
        : inner_(inner), io_(read_only_io(open, read, tell, seek, close, error, this)) {}
    BufferedIo(const BufferedIo&) = delete;
    BufferedIo& operator=(const BufferedIo&) = delete;
    zlib_filefunc64_def* io() { return &io_; }

private:
    static constexpr size_t kBufferBytes = 16384;

    struct Stream {
        void* inner = nullptr;
        uint64_t pos = 0;           // where the next read starts
        uint64_t inner_pos = 0;     // where the file stands
        uint64_t buffer_start = 0;  // file position of buffer[0]
        size_t buffer_length = 0;
        std::vector<char> buffer = std::vector<char>(kBufferBytes);
    };

    static BufferedIo& self(voidpf opaque) { return *static_cast<BufferedIo*>(opaque); }

    // Moves the file to s.pos if it stands elsewhere.
    bool sync(Stream& s) {
        if (s.inner_pos == s.pos)
            return true;
        if (inner_->zseek64_file(inner_->opaque, s.inner, s.pos, ZLIB_FILEFUNC_SEEK_SET) != 0)
            return false;
        s.inner_pos = s.pos;
        return true;
    }

    static voidpf ZCALLBACK open(voidpf opaque, const void* filename, int mode) {
        zlib_filefunc64_def* inner = self(opaque).inner_;
        void* stream = inner->zopen64_file(inner->opaque, filename, mode);
        if (!stream)
            return nullptr;
        auto* s = new Stream;
        s->inner = stream;
        return s;
    }

    static uLong ZCALLBACK read(voidpf opaque, voidpf stream, void* buf, uLong size) {
        BufferedIo& io = self(opaque);
        Stream& s = *static_cast<Stream*>(stream);
        char* out = static_cast<char*>(buf);
        uLong done = 0;
        while (done < size) {
            if (s.pos >= s.buffer_start && s.pos < s.buffer_start + s.buffer_length) {
                size_t offset = static_cast<size_t>(s.pos - s.buffer_start);
                size_t n = std::min<size_t>(size - done, s.buffer_length - offset);
                std::memcpy(out + done, s.buffer.data() + offset, n);
                done += static_cast<uLong>(n);
                s.pos += n;
                continue;
            }
            if (!io.sync(s))
                break;
            uLong want = size - done;
            if (want >= kBufferBytes) {
                uLong got = io.inner_->zread_file(io.inner_->opaque, s.inner, out + done, want);
                s.pos += got;
                s.inner_pos = s.pos;
                done += got;
                break;
            }
            uLong got = io.inner_->zread_file(io.inner_->opaque, s.inner, s.buffer.data(), kBufferBytes);
            s.buffer_start = s.pos;
            s.buffer_length = got;
            s.inner_pos = s.pos + got;
            if (got == 0)
                break;
        }
        return done;
    }

    static ZPOS64_T ZCALLBACK tell(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->pos; }

    static long ZCALLBACK seek(voidpf opaque, voidpf stream, ZPOS64_T offset, int origin) {
        BufferedIo& io = self(opaque);
        Stream& s = *static_cast<Stream*>(stream);
        switch (origin) {
            case ZLIB_FILEFUNC_SEEK_SET:
                s.pos = offset;
                return 0;
            case ZLIB_FILEFUNC_SEEK_CUR:
                s.pos += offset;
                return 0;
            case ZLIB_FILEFUNC_SEEK_END: {
                if (io.inner_->zseek64_file(io.inner_->opaque, s.inner, offset, ZLIB_FILEFUNC_SEEK_END) != 0)
                    return -1;
                s.pos = s.inner_pos = io.inner_->ztell64_file(io.inner_->opaque, s.inner);
                return 0;
            }
            default:
                return -1;
        }
    }

    static int ZCALLBACK close(voidpf opaque, voidpf stream) {
        zlib_filefunc64_def* inner = self(opaque).inner_;
        auto* s = static_cast<Stream*>(stream);
        int result = inner->zclose_file(inner->opaque, s->inner);
        delete s;
        return result;
    }

    static int ZCALLBACK error(voidpf opaque, voidpf stream) {
        zlib_filefunc64_def* inner = self(opaque).inner_;
        return inner->zerror_file(inner->opaque, static_cast<Stream*>(stream)->inner);
    }

    zlib_filefunc64_def* inner_;
    zlib_filefunc64_def io_;
};

bool head_check_passes(zlib_filefunc64_def* io, const void* archive) {
    void* stream = io->zopen64_file(io->opaque, archive, ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
    if (!stream)
        return false;
    std::array<char, kZipHeadCheckBytes> head{};
    uLong got = io->zread_file(io->opaque, stream, head.data(), head.size());
    bool ok = false;
    if (io->zseek64_file(io->opaque, stream, 0, ZLIB_FILEFUNC_SEEK_END) == 0) {
        ZPOS64_T length = io->ztell64_file(io->opaque, stream);
        ok = length != static_cast<ZPOS64_T>(-1) && zip_head_looks_valid(std::string_view(head.data(), got), length);
    }
    io->zclose_file(io->opaque, stream);
    return ok;
}

// Unpacks the entry the archive stands on. False on any failure.
bool unpack_current(unzFile zip, ZipEntrySink& sink, std::vector<unsigned char>& buffer, ZipEntry& entry) {
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    // The name is read into a buffer of its exact stored length plus the terminator, so a long
    // name is never cut short (a cut name could pass the checks below and differ from the real
    // one).
    std::string name(info.size_filename + 1, '\0');
    if (unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0) !=
        UNZ_OK)
        return false;
    name.resize(info.size_filename);

    if (check_entry_name(name) != EntryNameFault::none || (info.flag & kEncryptedFlag) != 0)
        return false;

    entry.name = name;
    entry.relative_path = entry_relative_path(name);
    entry.is_directory = (info.external_fa & kDirectoryAttribute) != 0 || name.back() == '/';
    entry.attributes = static_cast<uint32_t>(info.external_fa) & kFileAttributeMask;
    entry.dos_date_time = static_cast<uint32_t>(info.dosDate);
    entry.size = info.uncompressed_size;

    if (entry.is_directory)
        return sink.make_directory(entry);

    // The entry's data is opened before its file, so an entry whose data cannot even be found
    // leaves an older file of that name untouched.
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return false;
    if (!sink.open_file(entry)) {
        unzCloseCurrentFile(zip);
        return false;
    }
    uint64_t written = 0;
    bool ok = true;
    for (;;) {
        int got = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        written += static_cast<unsigned>(got);
        if (!sink.write(buffer.data(), static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    // minizip checks the CRC only when the whole declared size came out; data that ends early
    // would pass unnoticed without the size comparison.
    if (unzCloseCurrentFile(zip) != UNZ_OK || written != info.uncompressed_size)
        ok = false;
    return sink.close_file(entry, ok) && ok;
}

}  // namespace

bool zip_head_looks_valid(std::string_view head, uint64_t file_length) {
    if (file_length < kZipHeadCheckBytes || head.size() < kZipHeadCheckBytes)
        return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    if (read_u32(bytes, 0) != kLocalHeaderSignature)
        return false;
    return static_cast<int32_t>(read_u32(bytes, 24)) >= 1;
}

EntryNameFault check_entry_name(std::string_view name) {
    if (name.empty())
        return EntryNameFault::empty;
    if (is_separator(name[0]))
        return EntryNameFault::absolute;
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        return EntryNameFault::drive;
    std::vector<std::string_view> parts = split_components(name);
    // A trailing separator marks a directory entry and leaves one empty last part.
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();
    for (std::string_view part : parts) {
        if (part == "..")
            return EntryNameFault::parent_step;
    }
    for (std::string_view part : parts) {
        // Windows drops trailing dots and spaces from a name, so "a." and "a" would be one
        // file, and "..." would become no name at all.
        if (part.empty() || part.back() == '.' || part.back() == ' ')
            return EntryNameFault::bad_component;
        if (has_forbidden_character(part))
            return EntryNameFault::bad_character;
        if (is_device_name(part))
            return EntryNameFault::reserved_name;
    }
    return EntryNameFault::none;
}

std::string entry_relative_path(std::string_view name) {
    std::string path(name);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

namespace {

template <typename Char>
std::vector<std::basic_string<Char>> directory_chain_of(std::basic_string_view<Char> path) {
    std::vector<std::basic_string<Char>> chain;
    // The part that is never created: "C:", "C:\", "\", or "\\server\share".
    size_t root = 0;
    if (path.size() >= 2 && path[1] == Char{':'}) {
        root = 2;
    } else if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        root = 2;
        for (int skipped = 0; root < path.size(); ++root) {
            if (is_separator(path[root]) && ++skipped == 2)
                break;
        }
    }
    // A prefix is taken before each separator that follows a name, never after another
    // separator; the trail byte of a double-byte character is not a separator.
    bool after_name = false;
    size_t i = root;
    while (i < path.size()) {
        if (is_separator(path[i])) {
            if (after_name)
                chain.emplace_back(path.substr(0, i));
            after_name = false;
            ++i;
        } else {
            after_name = true;
            if constexpr (sizeof(Char) == 1)
                i += cp936_char_length(path, i);
            else
                ++i;
        }
    }
    if (after_name)
        chain.emplace_back(path);
    return chain;
}

}  // namespace

std::vector<std::string> directory_chain(std::string_view path) {
    return directory_chain_of(path);
}

std::vector<std::wstring> directory_chain(std::wstring_view path) {
    return directory_chain_of(path);
}

int unpack_zip(zlib_filefunc64_def* io, const void* archive, ZipEntrySink& sink) {
    if (!head_check_passes(io, archive))
        return 0;
    BufferedIo buffered(io);
    ZipFile zip{unzOpen2_64(archive, buffered.io())};
    if (!zip.file)
        return 0;
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip.file, &global) != UNZ_OK || global.number_entry == 0)
        return 0;
    const int total = static_cast<int>(std::min<ZPOS64_T>(global.number_entry, INT32_MAX));

    std::vector<unsigned char> buffer(kUnpackChunkBytes);
    ZipEntry entry;
    int done = 0;
    int err = unzGoToFirstFile(zip.file);
    while (err == UNZ_OK) {
        if (!unpack_current(zip.file, sink, buffer, entry))
            return 0;
        ++done;
        int percent = static_cast<int>(std::min<int64_t>(100, int64_t{done} * 100 / total));
        sink.entry_done(entry, UnpackCount{done, total, percent});
        err = unzGoToNextFile(zip.file);
    }
    return err == UNZ_END_OF_LIST_OF_FILE ? 1 : 0;
}

std::optional<ZipEntryStamp> find_zip_entry_stamp(zlib_filefunc64_def* io,
                                                  const void* archive,
                                                  const std::string& name) {
    // minizip compares names as C strings; a name holding a NUL names no stored entry. A name
    // ending in "/" is a folder's.
    if (name.empty() || name.back() == '/' || name.find('\0') != std::string::npos)
        return std::nullopt;
    BufferedIo buffered(io);
    ZipFile zip{unzOpen2_64(archive, buffered.io())};
    if (!zip.file)
        return std::nullopt;
    // Case-sensitive lookup: the walk reads the central directory's headers only.
    if (unzLocateFile(zip.file, name.c_str(), 1) != UNZ_OK)
        return std::nullopt;
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(zip.file, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
        (info.external_fa & kDirectoryAttribute) != 0)
        return std::nullopt;
    return ZipEntryStamp{static_cast<uint32_t>(info.crc), info.uncompressed_size};
}

namespace {

struct MemoryCursor {
    std::string_view bytes;
    uint64_t pos = 0;
};

// The archive's name is the address of its bytes (MemoryZipSource::name), which also is the
// table's opaque pointer.
voidpf ZCALLBACK memory_open(voidpf opaque, const void* filename, int mode) {
    if (filename != opaque || (mode & ZLIB_FILEFUNC_MODE_WRITE) != 0)
        return nullptr;
    return new MemoryCursor{*static_cast<const std::string_view*>(opaque), 0};
}

uLong ZCALLBACK memory_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* cursor = static_cast<MemoryCursor*>(stream);
    uint64_t left = cursor->bytes.size() - cursor->pos;
    uLong n = static_cast<uLong>(std::min<uint64_t>(size, left));
    if (n > 0)
        std::memcpy(buf, cursor->bytes.data() + cursor->pos, n);
    cursor->pos += n;
    return n;
}

ZPOS64_T ZCALLBACK memory_tell(voidpf, voidpf stream) {
    return static_cast<MemoryCursor*>(stream)->pos;
}

long ZCALLBACK memory_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* cursor = static_cast<MemoryCursor*>(stream);
    uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET:
            base = 0;
            break;
        case ZLIB_FILEFUNC_SEEK_CUR:
            base = cursor->pos;
            break;
        case ZLIB_FILEFUNC_SEEK_END:
            base = cursor->bytes.size();
            break;
        default:
            return -1;
    }
    // Offsets arrive unsigned; a position past either end is refused rather than wrapped.
    if (offset > cursor->bytes.size() - base)
        return -1;
    cursor->pos = base + offset;
    return 0;
}

int ZCALLBACK memory_close(voidpf, voidpf stream) {
    delete static_cast<MemoryCursor*>(stream);
    return 0;
}

int ZCALLBACK memory_error(voidpf, voidpf) {
    return 0;
}

}  // namespace

MemoryZipSource::MemoryZipSource(std::string_view bytes)
    : bytes_(bytes),
      io_(read_only_io(memory_open, memory_read, memory_tell, memory_seek, memory_close, memory_error, &bytes_)) {}

}  // namespace quarnel
