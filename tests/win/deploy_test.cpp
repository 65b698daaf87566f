// Deployment of the browser runtime and the unpacker, on real folders in a temporary place.
#include "app/deploy.h"

#include "tests/common/zip_builder.h"
#include "win_test_util.h"
#include "winbase/files.h"
#include "winbase/handles.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <set>

namespace quarnel {
namespace {

using test::ZipBuilder;
using test::ZipBuilderEntry;

// A folder name in Chinese: the paths of these tests are not plain ASCII.
constexpr wchar_t kChineseFolder[] = L"测试";

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wine reports every plain file as "archive", so "normal" is checked as "none of read-only,
// hidden, system".
bool has_normal_attributes(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

std::string read_file(const std::wstring& path) {
    return win::read_file_bytes(path).value_or("(unreadable)");
}

void make_file(const std::wstring& path, const std::string& bytes) {
    ASSERT_TRUE(win::write_whole_file(path, bytes)) << win::wide_to_utf8(path);
}

void make_folder(const std::wstring& path) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << win::wide_to_utf8(path);
}

// The last write time of a file or folder, 0 when it cannot be read.
uint64_t last_write_time(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// Every file and folder under `root`, as UTF-8 paths relative to it (folders end in "\").
void list_tree(const std::wstring& root, const std::string& prefix, std::set<std::string>& out) {
    win::for_each_entry(root, L"*", [&](const WIN32_FIND_DATAW& found) {
        std::string relative = prefix + win::wide_to_utf8(found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.insert(relative + "\\");
            list_tree(root + L"\\" + found.cFileName, relative + "\\", out);
        } else {
            out.insert(relative);
        }
    });
}

std::set<std::string> tree(const std::wstring& root) {
    std::set<std::string> out;
    list_tree(root, "", out);
    return out;
}

// Each test gets a fresh temporary folder holding the program's folder "测试".
class DeployTest : public ::testing::Test {
protected:
    void SetUp() override { make_folder(app_dir()); }

    std::wstring sandbox() const { return temp_->path(); }
    std::wstring app_dir() const { return sandbox() + L"\\" + kChineseFolder; }
    std::wstring runtime_dir() const { return app_dir() + L"\\ziroz"; }

    // A new empty sandbox, for the cases of a table.
    void renew() {
        temp_ = std::make_unique<test::TempFolder>();
        make_folder(app_dir());
    }

    int unpack(const std::string& archive_bytes, const std::wstring& dest) {
        const std::wstring archive = sandbox() + L"\\test.zip";
        make_file(archive, archive_bytes);
        return ZipUnpacker().unpack_archive(archive, dest);
    }

    std::unique_ptr<test::TempFolder> temp_ = std::make_unique<test::TempFolder>();
};

TEST(RuntimePackage, ProgramCarriesThePackageMadeFromTheHost) {
    HMODULE program = LoadLibraryExW(test::wine_path(QUARNEL_PROGRAM_EXE).c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(program, nullptr);
    std::string package(embedded_runtime_package(program));
    FreeLibrary(program);
    ASSERT_GT(package.size(), 100u);

    test::TempFolder temp;
    std::vector<std::string> progress;
    int result = deploy_runtime_package(temp.path(), package, [&](const UnpackProgress& p) {
        progress.push_back(std::to_string(p.done) + "/" + std::to_string(p.total) + " " + std::to_string(p.percent) +
                           "% " + win::wide_to_utf8(p.path.substr(temp.path().size())));
    });
    EXPECT_EQ(result, 1);
    const std::wstring runtime = temp.path() + L"\\ziroz";
    EXPECT_EQ(tree(runtime), (std::set<std::string>{"cefview(e_pair).exe", "locales\\", "Monitor\\"}));
    EXPECT_TRUE(read_file(runtime + L"\\cefview(e_pair).exe") == read_file(test::wine_path(QUARNEL_HOST_EXE)));
    EXPECT_TRUE(has_normal_attributes(runtime + L"\\cefview(e_pair).exe"));
    EXPECT_EQ(progress, (std::vector<std::string>{"1/3 33% \\ziroz\\cefview(e_pair).exe", "2/3 66% \\ziroz\\locales\\",
                                                  "3/3 100% \\ziroz\\Monitor\\"}));
    // The temporary archive is the package, byte for byte, and is left in place.
    EXPECT_TRUE(read_file(temp.path() + L"\\cxtemp.zip") == package);
}

// The host program in the runtime folder, by what is there before deployment: one that matches
// the package is not touched (its write time stays), one that differs is unpacked over.
TEST_F(DeployTest, HostProgramIsUnpackedOverOnlyWhenItDiffersFromThePackage) {
    const std::string host = "host program";
    const std::string package = ZipBuilder().file("cefview(e_pair).exe", host).directory("locales/").build();
    struct Case {
        const char* what;
        std::optional<std::string> on_disk;  // a folder when unset
        int result;
    } cases[] = {
        {"the same bytes", host, kRuntimeAlreadyDeployed},
        {"a folder of that name", std::nullopt, kRuntimeAlreadyDeployed},
        {"bytes appended", host + " and more", 1},
        {"the same size, one byte changed", "Host program", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        renew();
        make_folder(runtime_dir());
        const std::wstring marker = runtime_dir() + L"\\cefview(e_pair).exe";
        if (c.on_disk)
            make_file(marker, *c.on_disk);
        else
            make_folder(marker);
        const uint64_t written_before = last_write_time(marker);
        EXPECT_EQ(deploy_runtime_package(app_dir(), package), c.result);
        if (c.result == 1) {
            EXPECT_EQ(read_file(marker), host);
            EXPECT_TRUE(exists(runtime_dir() + L"\\locales"));
            continue;
        }
        EXPECT_EQ(tree(runtime_dir()),
                  std::set<std::string>{c.on_disk ? "cefview(e_pair).exe" : "cefview(e_pair).exe\\"});
        EXPECT_EQ(last_write_time(marker), written_before);
        EXPECT_FALSE(exists(app_dir() + L"\\cxtemp.zip"));
    }
}

TEST_F(DeployTest, OlderTreeIsOverwrittenReadOnlyFilesIncludedAndExtraFilesStay) {
    make_folder(runtime_dir());
    make_folder(runtime_dir() + L"\\locales");
    make_file(runtime_dir() + L"\\libcef.dll", "old library");
    make_file(runtime_dir() + L"\\locales\\en-US.pak", "old english");
    make_file(runtime_dir() + L"\\extra.txt", "mine");
    SetFileAttributesW((runtime_dir() + L"\\libcef.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    make_file(app_dir() + L"\\cxtemp.zip", "leftover of an interrupted start");

    std::string package = ZipBuilder()
                              .file("libcef.dll", "new library")
                              .file("cefview(e_pair).exe", "host")
                              .directory("locales/")
                              .file("locales/en-US.pak", "new english")
                              .build();
    EXPECT_EQ(deploy_runtime_package(app_dir(), package), 1);
    EXPECT_EQ(read_file(runtime_dir() + L"\\libcef.dll"), "new library");
    EXPECT_TRUE(has_normal_attributes(runtime_dir() + L"\\libcef.dll"));
    EXPECT_EQ(read_file(runtime_dir() + L"\\locales\\en-US.pak"), "new english");
    EXPECT_EQ(read_file(runtime_dir() + L"\\extra.txt"), "mine");
    EXPECT_TRUE(read_file(app_dir() + L"\\cxtemp.zip") == package);
}

BOOL CALLBACK count_window(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

// Counts the windows of the calling thread: deployment never shows anything.
int thread_window_count() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), count_window, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST_F(DeployTest, FolderThatCannotBeWrittenGivesMinusOneQuietly) {
    // Whatever the user's rights, a folder that is really a file, or one that does not exist,
    // takes no temporary archive.
    std::wstring file_not_folder = sandbox() + L"\\plain-file";
    make_file(file_not_folder, "x");
    for (const std::wstring& dir : {file_not_folder, sandbox() + L"\\missing\\deeper"}) {
        int windows_before = thread_window_count();
        EXPECT_EQ(deploy_browser_runtime(dir), -1) << win::wide_to_utf8(dir);
        EXPECT_EQ(thread_window_count(), windows_before);
    }
    EXPECT_FALSE(exists(sandbox() + L"\\missing"));
}

TEST_F(DeployTest, HostHeldByARunningCopyStaysQuietlyUntilTheNextStart) {
    const std::string package = ZipBuilder().file("cefview(e_pair).exe", "new host").build();
    make_folder(runtime_dir());
    const std::wstring marker = runtime_dir() + L"\\cefview(e_pair).exe";
    make_file(marker, "old host");
    // A running host keeps its program file open, refusing writers and deletion.
    win::UniqueFile held(
        CreateFileW(marker.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    int windows_before = thread_window_count();
    EXPECT_EQ(deploy_runtime_package(app_dir(), package), 0);
    EXPECT_EQ(thread_window_count(), windows_before);
    held.reset();
    EXPECT_EQ(read_file(marker), "old host");

    EXPECT_EQ(deploy_runtime_package(app_dir(), package), 1);
    EXPECT_EQ(read_file(marker), "new host");
}

TEST_F(DeployTest, FileTimesComeFromTheEntryAndAttributesEndNormal) {
    std::string archive =
        ZipBuilder().add(ZipBuilderEntry("ro.txt", "read-only in the archive").with_attributes(0x21)).build();
    ASSERT_EQ(unpack(archive, runtime_dir()), 1);
    std::wstring path = runtime_dir() + L"\\ro.txt";
    EXPECT_TRUE(has_normal_attributes(path));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME created, accessed, written;
    ASSERT_TRUE(GetFileTime(h, &created, &accessed, &written));
    CloseHandle(h);
    FILETIME local;
    SYSTEMTIME st;
    ASSERT_TRUE(FileTimeToLocalFileTime(&written, &local));
    ASSERT_TRUE(FileTimeToSystemTime(&local, &st));
    EXPECT_EQ((std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}),
              (std::vector<int>{2001, 2, 3, 4, 5, 6}));
}

TEST_F(DeployTest, EntriesThatWouldLeaveTheDestinationAreRefused) {
    for (const char* evil : {"../evil.txt", "../../evil.txt", "sub/../../evil.txt", "..\\evil.txt", "/evil.txt",
                             "\\evil.txt", "C:/evil.txt", "C:evil.txt", "Z:/tmp/evil.txt", "../evil/"}) {
        renew();
        const std::wstring dest = sandbox() + L"\\a\\dest";
        std::string archive = ZipBuilder().file("ok.txt", "fine").file(evil, "pwned").file("after.txt", "x").build();
        EXPECT_EQ(unpack(archive, dest), 0) << evil;
        // Only the entry before the refused one was written, and nothing beside the archive.
        EXPECT_EQ(tree(sandbox()), (std::set<std::string>{"a\\", "a\\dest\\", "a\\dest\\ok.txt", "test.zip",
                                                          "\xe6\xb5\x8b\xe8\xaf\x95\\"}))
            << evil;
        EXPECT_FALSE(exists(L"C:\\evil.txt")) << evil;
        EXPECT_FALSE(exists(L"Z:\\tmp\\evil.txt")) << evil;
    }
}

TEST_F(DeployTest, BadArchivesGiveZeroWithoutWritingOutside) {
    std::string good = ZipBuilder().file("a.txt", std::string(3000, 'q')).file("b.txt", "second").build();
    std::string corrupt = ZipBuilder().file("a.txt", std::string(5000, 'a') + "tail").build();
    corrupt[35] = static_cast<char>(0xFF);  // first byte of the deflate data: an invalid block type
    std::string long_name = std::string(120, 'n') + "/" + std::string(120, 'n') + "/" + std::string(30, 'n') + ".txt";
    struct Case {
        const char* what;
        std::string archive;
    } cases[] = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"too short for the check", good.substr(0, 31)},
        {"not an archive", std::string(100, 'x')},
        {"corrupt deflate stream", corrupt},
        {"wrong CRC", ZipBuilder().add(ZipBuilderEntry("a.txt", "hello").with_crc(0x12345678)).build()},
        {"no entries", ZipBuilder().build()},
        {"name with a forbidden character", ZipBuilder().file("what?.txt", "x").build()},
        {"name with a stream", ZipBuilder().file("a.txt:hidden", "x").build()},
        {"device name", ZipBuilder().file("sub/NUL.txt", "x").build()},
        {"name over MAX_PATH", ZipBuilder().file(long_name, "x").build()},
        {"2 GB declared size",
         ZipBuilder().add(ZipBuilderEntry("a.txt", "short").with_declared_size(0x80000000u)).build()},
    };
    for (const Case& c : cases) {
        renew();
        EXPECT_EQ(unpack(c.archive, sandbox() + L"\\dest"), 0) << c.what;
        // The destination stays empty (nothing half-written is left), and nothing appears
        // beside it.
        EXPECT_EQ(tree(sandbox()), (std::set<std::string>{"dest\\", "test.zip", "\xe6\xb5\x8b\xe8\xaf\x95\\"}))
            << c.what;
    }
}

TEST_F(DeployTest, MissingArgumentsOrArchiveGiveMinusOne) {
    ZipUnpacker unpacker;
    const std::wstring dest = sandbox() + L"\\dest";
    EXPECT_EQ(unpacker.unpack_archive(L"", dest), -1);
    EXPECT_EQ(unpacker.unpack_archive(sandbox() + L"\\none.zip", L""), -1);
    EXPECT_EQ(unpacker.unpack_archive(sandbox() + L"\\none.zip", dest), -1);
    EXPECT_EQ(unpacker.unpack_archive(sandbox(), dest), -1) << "a folder is not an archive";
    EXPECT_FALSE(exists(dest));
}

TEST_F(DeployTest, DestinationThatCannotBeCreatedGivesZero) {
    make_file(sandbox() + L"\\blocker", "a file where a folder should be");
    EXPECT_EQ(unpack(ZipBuilder().file("a.txt", "x").build(), sandbox() + L"\\blocker\\dest"), 0);
}

TEST_F(DeployTest, DestinationIsCreatedOneFolderAtATime) {
    std::wstring dest = sandbox() + L"\\one\\two\\" + kChineseFolder + L"\\three\\";
    EXPECT_EQ(unpack(ZipBuilder().file("sub/deeper/a.txt", "x").build(), dest), 1);
    EXPECT_EQ(read_file(dest + L"sub\\deeper\\a.txt"), "x");
}

}  // namespace
}  // namespace quarnel
