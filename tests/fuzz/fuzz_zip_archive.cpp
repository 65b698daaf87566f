// Archive bytes of any kind: unpacking must not crash, must never hand the sink a path that
// leaves the destination or an unsafe name, must deliver data in pieces of at most the chunk
// size, and may only report success when every entry reached the sink.
#include "core/zip_archive.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

class CheckingSink : public quarnel::ZipEntrySink {
public:
    int entries = 0;

    bool make_directory(const quarnel::ZipEntry& entry) override { return check(entry); }
    bool open_file(const quarnel::ZipEntry& entry) override { return check(entry); }
    bool write(const unsigned char*, size_t size) override {
        if (size == 0 || size > quarnel::kUnpackChunkBytes)
            abort();
        return true;
    }
    bool close_file(const quarnel::ZipEntry&, bool) override { return true; }
    void entry_done(const quarnel::ZipEntry&, const quarnel::UnpackCount& c) override {
        if (c.done != ++entries || c.percent < 0 || c.percent > 100)
            abort();
    }

private:
    static bool check(const quarnel::ZipEntry& entry) {
        if (quarnel::check_entry_name(entry.name) != quarnel::EntryNameFault::none)
            abort();
        std::string_view path = entry.relative_path;
        if (path.empty() || path[0] == '\\' || path.substr(0, 3) == "..\\" || path == ".." ||
            path.find("\\..\\") != std::string_view::npos || path.find('/') != std::string_view::npos ||
            path.find(':') != std::string_view::npos)
            abort();
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The name and path rules on their own, over the raw bytes.
    quarnel::check_entry_name(bytes);
    for (const std::string& dir : quarnel::directory_chain(bytes)) {
        if (dir.empty() || dir.size() > size)
            abort();
    }

    quarnel::MemoryZipSource source(bytes);
    CheckingSink sink;
    int result = quarnel::unpack_zip(source.io(), source.name(), sink);
    if (result != 0 && result != 1)
        abort();
    return 0;
}
