#pragma once

// Builds small ZIP archives in memory for tests, with every header field under the test's
// control (so damaged archives can be made on purpose). Header-only; needs zlib.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarnel::test {

struct ZipBuilderEntry {
    explicit ZipBuilderEntry(std::string entry_name, std::string entry_data = {})
        : name(std::move(entry_name)), data(std::move(entry_data)) {}

    ZipBuilderEntry& stored() {
        deflate = false;
        return *this;
    }
    ZipBuilderEntry& with_attributes(uint32_t attributes) {
        external_attributes = attributes;
        return *this;
    }
    ZipBuilderEntry& with_flags(uint16_t value) {
        flags = value;
        return *this;
    }
    ZipBuilderEntry& with_crc(uint32_t value) {
        crc = value;
        return *this;
    }
    ZipBuilderEntry& with_declared_size(uint32_t value) {
        declared_size = value;
        return *this;
    }

    std::string name;
    std::string data;
    bool deflate = true;
    uint32_t external_attributes = 0x20;
    uint16_t dos_date = (21 << 9) | (2 << 5) | 3;  // 2001-02-03
    uint16_t dos_time = (4 << 11) | (5 << 5) | 3;  // 04:05:06
    uint16_t flags = 0;
    std::optional<uint32_t> crc;            // the real CRC when unset
    std::optional<uint32_t> declared_size;  // the real size when unset
};

inline std::string raw_deflate(std::string_view data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

class ZipBuilder {
public:
    ZipBuilder& add(ZipBuilderEntry entry) {
        entries_.push_back(std::move(entry));
        return *this;
    }
    ZipBuilder& file(std::string name, std::string data) {
        return add(ZipBuilderEntry(std::move(name), std::move(data)));
    }
    ZipBuilder& directory(std::string name) {
        return add(ZipBuilderEntry(std::move(name)).stored().with_attributes(0x10));
    }

    std::string build() const {
        std::string out;
        std::string central;
        for (const ZipBuilderEntry& e : entries_) {
            std::string stored = e.deflate ? raw_deflate(e.data) : e.data;
            uint32_t crc = e.crc.value_or(static_cast<uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()))));
            uint32_t size = e.declared_size.value_or(static_cast<uint32_t>(e.data.size()));
            uint32_t offset = static_cast<uint32_t>(out.size());
            uint16_t method = e.deflate ? 8 : 0;

            // The fields from "version needed" to "extra field length" are the same in both
            // headers.
            std::string shared;
            put16(shared, 20);
            put16(shared, e.flags);
            put16(shared, method);
            put16(shared, e.dos_time);
            put16(shared, e.dos_date);
            put32(shared, crc);
            put32(shared, static_cast<uint32_t>(stored.size()));
            put32(shared, size);
            put16(shared, static_cast<uint16_t>(e.name.size()));
            put16(shared, 0);

            put32(out, 0x04034B50);
            out += shared;
            out += e.name;
            out += stored;

            put32(central, 0x02014B50);
            put16(central, 20);  // made by MS-DOS
            central += shared;
            put16(central, 0);  // comment length
            put16(central, 0);  // disk number
            put16(central, 0);  // internal attributes
            put32(central, e.external_attributes);
            put32(central, offset);
            central += e.name;
        }
        uint32_t central_offset = static_cast<uint32_t>(out.size());
        out += central;
        put32(out, 0x06054B50);
        put16(out, 0);
        put16(out, 0);
        put16(out, static_cast<uint16_t>(entries_.size()));
        put16(out, static_cast<uint16_t>(entries_.size()));
        put32(out, static_cast<uint32_t>(central.size()));
        put32(out, central_offset);
        put16(out, 0);
        return out;
    }

private:
    static void put16(std::string& s, uint16_t v) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>(v >> 8);
    }
    static void put32(std::string& s, uint32_t v) {
        put16(s, static_cast<uint16_t>(v & 0xFFFF));
        put16(s, static_cast<uint16_t>(v >> 16));
    }

    std::vector<ZipBuilderEntry> entries_;
};

}  // namespace quarnel::test
