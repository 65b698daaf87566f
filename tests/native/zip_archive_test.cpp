#include "core/zip_archive.h"

#include "tests/common/zip_builder.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quarnel {
namespace {

using test::ZipBuilder;
using test::ZipBuilderEntry;

// Keeps what an unpacking would have written under "D:\out\", and the order of the calls.
class RecordingSink : public ZipEntrySink {
public:
    std::map<std::string, std::string> files;  // finished files by output path
    std::vector<std::string> calls;
    std::vector<ZipEntry> entries;
    std::vector<std::string> progress;
    size_t largest_write = 0;
    std::string refuse_open;  // output path whose file cannot be created

    static std::string output_path(const ZipEntry& entry) { return "D:\\out\\" + entry.relative_path; }

    bool make_directory(const ZipEntry& entry) override {
        calls.push_back("dir " + output_path(entry));
        entries.push_back(entry);
        return true;
    }
    bool open_file(const ZipEntry& entry) override {
        calls.push_back("open " + output_path(entry));
        entries.push_back(entry);
        current_.clear();
        return output_path(entry) != refuse_open;
    }
    bool write(const unsigned char* data, size_t size) override {
        largest_write = std::max(largest_write, size);
        current_.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    bool close_file(const ZipEntry& entry, bool complete) override {
        calls.push_back((complete ? "close " : "drop ") + output_path(entry));
        if (complete)
            files[output_path(entry)] = current_;
        return true;
    }
    void entry_done(const ZipEntry& entry, const UnpackCount& c) override {
        progress.push_back(std::to_string(c.done) + "/" + std::to_string(c.total) + " " + std::to_string(c.percent) +
                           "% " + output_path(entry));
    }

private:
    std::string current_;
};

int unpack(const std::string& archive, RecordingSink& sink) {
    MemoryZipSource source(archive);
    return unpack_zip(source.io(), source.name(), sink);
}

std::string head_with(uint32_t signature, int32_t at24) {
    std::string head(32, '\0');
    for (int i = 0; i < 4; ++i) {
        head[i] = static_cast<char>(signature >> (8 * i));
        head[24 + i] = static_cast<char>(static_cast<uint32_t>(at24) >> (8 * i));
    }
    return head;
}

TEST(ZipHeadCheck, NeedsLengthSignatureAndPositiveValueAt24) {
    EXPECT_TRUE(zip_head_looks_valid(head_with(0x04034B50, 1), 32));
    EXPECT_TRUE(zip_head_looks_valid(head_with(0x04034B50, 0x7FFFFFFF), 1000));
    EXPECT_FALSE(zip_head_looks_valid(head_with(0x04034B50, 0), 1000));
    EXPECT_FALSE(zip_head_looks_valid(head_with(0x04034B50, -5), 1000));
    EXPECT_FALSE(zip_head_looks_valid(head_with(0x06054B50, 1), 1000)) << "an empty archive's end record";
    EXPECT_FALSE(zip_head_looks_valid(head_with(0x04034B50, 1), 31)) << "file shorter than 32 bytes";
    EXPECT_FALSE(zip_head_looks_valid(head_with(0x04034B50, 1).substr(0, 31), 1000)) << "head read short";
}

TEST(CheckEntryName, RefusesNamesThatLeaveTheDestinationOrCannotExist) {
    struct Case {
        std::string name;
        EntryNameFault fault;
    } cases[] = {
        {"cefview(e_pair).exe", EntryNameFault::none},
        {"locales/", EntryNameFault::none},
        {"locales/zh-CN.pak", EntryNameFault::none},
        {"a/b/c/d.txt", EntryNameFault::none},
        {"\xb2\xe2\xca\xd4/\xce\xc4\xbc\xfe.txt", EntryNameFault::none},  // GBK names
        {"\x95\x5c.txt", EntryNameFault::none},                           // a GBK character whose trail byte is "\"
        {"a\x81|b", EntryNameFault::none},                                // ... and one whose trail byte is "|"
        {".hidden", EntryNameFault::none},
        {"", EntryNameFault::empty},
        {"/etc/passwd", EntryNameFault::absolute},
        {"\\Windows\\evil.dll", EntryNameFault::absolute},
        {"C:/evil.txt", EntryNameFault::drive},
        {"c:evil.txt", EntryNameFault::drive},
        {"../evil.txt", EntryNameFault::parent_step},
        {"..\\evil.txt", EntryNameFault::parent_step},
        {"a/../../evil.txt", EntryNameFault::parent_step},
        {"a\\..\\..\\evil.txt", EntryNameFault::parent_step},
        {"a/..", EntryNameFault::parent_step},
        {"../", EntryNameFault::parent_step},
        {"a//b", EntryNameFault::bad_component},
        {"a/./b", EntryNameFault::bad_component},
        {"a/...", EntryNameFault::bad_component},
        {"name.", EntryNameFault::bad_component},
        {"name ", EntryNameFault::bad_component},
        {"a\xaf../b", EntryNameFault::bad_component},  // ".." glued to a character still ends in a dot
        {"ab:c", EntryNameFault::bad_character},
        {"file.txt:stream", EntryNameFault::bad_character},
        {"\xa1:txt", EntryNameFault::bad_character},  // ":" is no trail byte, so it stands on its own
        {"a?b", EntryNameFault::bad_character},
        {"a*b", EntryNameFault::bad_character},
        {"a<b", EntryNameFault::bad_character},
        {"a>b", EntryNameFault::bad_character},
        {"a|b", EntryNameFault::bad_character},
        {"a\"b", EntryNameFault::bad_character},
        {"tab\there", EntryNameFault::bad_character},
        {std::string("nul\0byte", 8), EntryNameFault::bad_character},
        {"CON", EntryNameFault::reserved_name},
        {"dir/nul.txt", EntryNameFault::reserved_name},
        {"Com1.log", EntryNameFault::reserved_name},
        {"lpt9", EntryNameFault::reserved_name},
        {"aux .txt", EntryNameFault::reserved_name},
        {"console.txt", EntryNameFault::none},
        {"com10", EntryNameFault::none},
    };
    for (const Case& c : cases)
        EXPECT_EQ(check_entry_name(c.name), c.fault) << "name: " << c.name;
}

TEST(EntryRelativePath, TurnsSlashesIntoBackslashes) {
    EXPECT_EQ(entry_relative_path("locales/en-US.pak"), "locales\\en-US.pak");
    EXPECT_EQ(entry_relative_path("locales/"), "locales\\");
    EXPECT_EQ(entry_relative_path("a.txt"), "a.txt");
}

TEST(DirectoryChain, CreatesOneComponentAtATimeAndNeverARoot) {
    using Chain = std::vector<std::string>;
    EXPECT_EQ(directory_chain("C:\\a\\b\\ziroz\\"), (Chain{"C:\\a", "C:\\a\\b", "C:\\a\\b\\ziroz"}));
    EXPECT_EQ(directory_chain("C:\\a\\b"), (Chain{"C:\\a", "C:\\a\\b"}));
    EXPECT_EQ(directory_chain("C:\\"), Chain{});
    EXPECT_EQ(directory_chain("C:"), Chain{});
    EXPECT_EQ(directory_chain(""), Chain{});
    EXPECT_EQ(directory_chain("\\\\server\\share\\dir\\sub"),
              (Chain{"\\\\server\\share\\dir", "\\\\server\\share\\dir\\sub"}));
    EXPECT_EQ(directory_chain("\\\\server\\share"), Chain{});
    EXPECT_EQ(directory_chain("\\top\\sub"), (Chain{"\\top", "\\top\\sub"}));
    EXPECT_EQ(directory_chain("rel\\dir"), (Chain{"rel", "rel\\dir"}));
    EXPECT_EQ(directory_chain("C:\\a\\\\b"), (Chain{"C:\\a", "C:\\a\\\\b"}));
    // A GBK character ending in the byte "\" is not split.
    EXPECT_EQ(directory_chain("C:\\\x95\x5c\\x"), (Chain{"C:\\\x95\x5c", "C:\\\x95\x5c\\x"}));
    // Wide paths: a character whose low byte is that of "\" is no separator either.
    using WideChain = std::vector<std::wstring>;
    EXPECT_EQ(directory_chain(L"C:\\a\u015cb\\c\\"), (WideChain{L"C:\\a\u015cb", L"C:\\a\u015cb\\c"}));
    EXPECT_EQ(directory_chain(L"\\\\server\\share\\d"), WideChain{L"\\\\server\\share\\d"});
}

TEST(UnpackZip, WritesEveryEntryInOrderWithProgress) {
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>((i * 7919) ^ (i >> 5));
    std::string archive = ZipBuilder()
                              .file("host.exe", "MZ program")
                              .add(ZipBuilderEntry("big.bin", big))
                              .directory("locales/")
                              .file("locales/en-US.pak", "english")
                              .add(ZipBuilderEntry("stored.txt", "kept as is").stored())
                              .directory("Monitor/")
                              .build();
    RecordingSink sink;
    ASSERT_EQ(unpack(archive, sink), 1);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"open D:\\out\\host.exe", "close D:\\out\\host.exe",
                                                    "open D:\\out\\big.bin", "close D:\\out\\big.bin",
                                                    "dir D:\\out\\locales\\", "open D:\\out\\locales\\en-US.pak",
                                                    "close D:\\out\\locales\\en-US.pak", "open D:\\out\\stored.txt",
                                                    "close D:\\out\\stored.txt", "dir D:\\out\\Monitor\\"}));
    EXPECT_EQ(sink.files["D:\\out\\host.exe"], "MZ program");
    EXPECT_EQ(sink.files["D:\\out\\big.bin"], big);
    EXPECT_EQ(sink.files["D:\\out\\stored.txt"], "kept as is");
    EXPECT_EQ(sink.largest_write, kUnpackChunkBytes);
    EXPECT_EQ(sink.progress,
              (std::vector<std::string>{"1/6 16% D:\\out\\host.exe", "2/6 33% D:\\out\\big.bin",
                                        "3/6 50% D:\\out\\locales\\", "4/6 66% D:\\out\\locales\\en-US.pak",
                                        "5/6 83% D:\\out\\stored.txt", "6/6 100% D:\\out\\Monitor\\"}));
}

TEST(UnpackZip, ManyEntriesOfSizesAroundTheReadBufferComeOutWhole) {
    // A central directory and stored data larger than the reader's 16 KB buffer, read in
    // alternation, with sizes on either side of the buffer size.
    ZipBuilder builder;
    std::map<std::string, std::string> expected;
    const size_t sizes[] = {0, 1, 16383, 16384, 16385, 40000, 77};
    for (int i = 0; i < 400; ++i) {
        std::string name = "folder-with-a-longish-name/entry-" + std::to_string(i) + ".bin";
        std::string data(sizes[i % std::size(sizes)], static_cast<char>('a' + i % 26));
        for (size_t j = 0; j < data.size(); j += 97)
            data[j] = static_cast<char>(i + j);
        ZipBuilderEntry entry(name, data);
        if (i % 2)
            entry.stored();
        builder.add(entry);
        expected["D:\\out\\" + name] = data;
    }
    RecordingSink sink;
    ASSERT_EQ(unpack(builder.build(), sink), 1);
    std::map<std::string, std::string> got;
    for (const auto& [path, data] : sink.files) {
        std::string slashed = path;
        std::replace(slashed.begin() + 7, slashed.end(), '\\', '/');
        got[slashed] = data;
    }
    EXPECT_TRUE(got == expected);
}

TEST(UnpackZip, PassesAttributesTimesAndKind) {
    std::string archive = ZipBuilder()
                              .add(ZipBuilderEntry("ro.txt", "x").with_attributes(0x21))
                              .add(ZipBuilderEntry("dir-without-attribute/").stored().with_attributes(0))
                              .add(ZipBuilderEntry("unix.txt", "y").with_attributes((0100644u << 16) | 0x20))
                              .build();
    RecordingSink sink;
    ASSERT_EQ(unpack(archive, sink), 1);
    ASSERT_EQ(sink.entries.size(), 3u);
    EXPECT_EQ(sink.entries[0].attributes, 0x21u);
    EXPECT_FALSE(sink.entries[0].is_directory);
    EXPECT_EQ(sink.entries[0].dos_date_time, (uint32_t{(21 << 9) | (2 << 5) | 3} << 16) | ((4 << 11) | (5 << 5) | 3));
    EXPECT_EQ(sink.entries[0].size, 1u);
    EXPECT_TRUE(sink.entries[1].is_directory) << "a name ending in / is a directory";
    EXPECT_EQ(sink.entries[2].attributes, 0x20u) << "only the DOS attribute bits are kept";
}

std::string corrupt_deflate() {
    std::string archive = ZipBuilder().file("a.txt", std::string(5000, 'a') + "tail").build();
    // The deflate data starts after the 30-byte header and the 5-byte name; a block type of 3
    // is invalid.
    archive[35] = static_cast<char>(0xFF);
    return archive;
}

TEST(UnpackZip, DamagedArchivesGiveZeroAndNoFinishedFile) {
    std::string good = ZipBuilder().file("a.txt", std::string(3000, 'q')).file("b.txt", "second").build();
    struct Case {
        const char* what;
        std::string archive;
    } cases[] = {
        {"empty file", ""},
        {"shorter than the head check", good.substr(0, 20)},
        {"cut after the first header", good.substr(0, 40)},
        {"cut in half", good.substr(0, good.size() / 2)},
        {"end record missing", good.substr(0, good.size() - 22)},
        {"no entries", ZipBuilder().build()},
        {"corrupt deflate stream", corrupt_deflate()},
        {"wrong CRC", ZipBuilder().add(ZipBuilderEntry("a.txt", "hello").with_crc(0x12345678)).build()},
        {"wrong CRC, stored", ZipBuilder().add(ZipBuilderEntry("a.txt", "hello").stored().with_crc(1)).build()},
        {"2 GB declared size",
         ZipBuilder().add(ZipBuilderEntry("a.txt", "short").with_declared_size(0x80000000u)).build()},
        {"4 GB declared size",
         ZipBuilder().add(ZipBuilderEntry("a.txt", "short").with_declared_size(0xFFFFFFFFu)).build()},
        {"smaller declared size",
         ZipBuilder().add(ZipBuilderEntry("a.txt", "longer data").with_declared_size(3)).build()},
        {"encrypted", ZipBuilder().add(ZipBuilderEntry("a.txt", "secret").with_flags(1)).build()},
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        EXPECT_EQ(unpack(c.archive, sink), 0) << c.what;
        EXPECT_TRUE(sink.files.empty()) << c.what;
    }
}

TEST(UnpackZip, ZeroEntriesInTheEndRecordIsAFailure) {
    std::string archive = ZipBuilder().file("a.txt", "x").build();
    // Entry counts of the end record (the last 22 bytes) set to 0.
    for (size_t at : {archive.size() - 14, archive.size() - 13, archive.size() - 12, archive.size() - 11})
        archive[at] = 0;
    RecordingSink sink;
    EXPECT_EQ(unpack(archive, sink), 0);
}

TEST(UnpackZip, UnsafeNameStopsBeforeWritingAnythingForIt) {
    for (const char* evil : {"../evil.txt", "a/../../evil.txt", "/abs.txt", "C:/evil.txt", "..\\evil.txt", "c:evil.txt",
                             "a\\..\\..\\evil.txt", "CON", "ab:c", "../dir/"}) {
        std::string archive = ZipBuilder().file("first.txt", "ok").file(evil, "pwned").file("last.txt", "x").build();
        RecordingSink sink;
        EXPECT_EQ(unpack(archive, sink), 0) << evil;
        EXPECT_EQ(sink.calls, (std::vector<std::string>{"open D:\\out\\first.txt", "close D:\\out\\first.txt"}))
            << evil;
    }
}

TEST(UnpackZip, FailureStopsTheLoopAndDropsThePartialFile) {
    std::string archive = ZipBuilder()
                              .file("one.txt", "1")
                              .add(ZipBuilderEntry("two.txt", "data").with_crc(7))
                              .file("three.txt", "3")
                              .build();
    RecordingSink sink;
    EXPECT_EQ(unpack(archive, sink), 0);
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"open D:\\out\\one.txt", "close D:\\out\\one.txt",
                                                    "open D:\\out\\two.txt", "drop D:\\out\\two.txt"}));
    EXPECT_EQ(sink.progress.size(), 1u);
}

TEST(UnpackZip, SinkRefusalStopsTheLoop) {
    std::string archive = ZipBuilder().file("one.txt", "1").file("two.txt", "2").build();
    RecordingSink sink;
    sink.refuse_open = "D:\\out\\one.txt";
    EXPECT_EQ(unpack(archive, sink), 0);
    EXPECT_EQ(sink.calls, std::vector<std::string>{"open D:\\out\\one.txt"});
}

TEST(FindZipEntryStamp, ReportsTheDirectoryRecordOfAFileEntryByExactName) {
    // "Host.exe" declares a CRC and size its data does not have: the directory's values come back
    // as stored, the data is never read.
    std::string archive = ZipBuilder()
                              .file("a.txt", "hello")
                              .add(ZipBuilderEntry("Host.exe", "data").stored().with_crc(7).with_declared_size(3))
                              .directory("dir/")
                              .build();
    struct Case {
        std::string name;
        std::optional<std::pair<uint32_t, uint64_t>> stamp;
    } cases[] = {
        {"a.txt", std::pair<uint32_t, uint64_t>{0x3610A686u, 5}},
        {"Host.exe", std::pair<uint32_t, uint64_t>{7, 3}},
        {"host.exe", std::nullopt},
        {"dir/", std::nullopt},
        {"missing", std::nullopt},
        {std::string("a.txt\0x", 7), std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryZipSource source(archive);
        std::optional<ZipEntryStamp> stamp = find_zip_entry_stamp(source.io(), source.name(), c.name);
        ASSERT_EQ(stamp.has_value(), c.stamp.has_value());
        if (stamp)
            EXPECT_EQ(std::make_pair(stamp->crc, stamp->size), *c.stamp);
    }
    MemoryZipSource not_an_archive(std::string_view("PK\3\4 and nothing more"));
    EXPECT_FALSE(find_zip_entry_stamp(not_an_archive.io(), not_an_archive.name(), "a.txt"));
}

}  // namespace
}  // namespace quarnel
