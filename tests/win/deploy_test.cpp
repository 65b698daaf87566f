// Deployment of the browser runtime and the unpacker, on real folders in a temporary place.
#include "app/deploy.h"

#include "controls/text.h"
#include "tests/common/zip_builder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <set>

namespace quarnel {
namespace {

using testing::ZipBuilder;
using testing::ZipBuilderEntry;

// "测试" in GBK: every path of these tests goes through the ANSI code page.
constexpr char kGbkFolder[] = "\xb2\xe2\xca\xd4";

std::wstring wide(const std::string& ansi) {
    return ui::ansi_to_wide(ansi);
}

bool exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wine reports every plain file as "archive", so "normal" is checked as "none of read-only,
// hidden, system".
bool has_normal_attributes(const std::string& path) {
    DWORD a = GetFileAttributesW(wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

std::string read_file(const std::string& path) {
    std::ifstream in(wide(path).c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void make_file(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(write_whole_file(path, bytes)) << path;
}

// Every file and folder under `root`, as paths relative to it (folders end in "\").
void list_tree(const std::string& root, const std::string& prefix, std::set<std::string>& out) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(wide(root + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = ui::wide_to_ansi(found.cFileName);
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.insert(prefix + name + "\\");
            list_tree(root + "\\" + name, prefix + name + "\\", out);
        } else {
            out.insert(prefix + name);
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

std::set<std::string> tree(const std::string& root) {
    std::set<std::string> out;
    list_tree(root, "", out);
    return out;
}

void remove_tree(const std::string& path) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(wide(path + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = ui::wide_to_ansi(found.cFileName);
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(child);
            } else {
                SetFileAttributesW(wide(child).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(wide(child).c_str());
            }
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(wide(path).c_str());
}

// A fresh folder "<temp>\quarnel-deploy-<n>\测试" per test; removed afterwards.
class DeployTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        sandbox_ = ui::wide_to_ansi(temp) + "quarnel-deploy-" + std::to_string(GetCurrentProcessId());
        remove_tree(sandbox_);
        ASSERT_TRUE(CreateDirectoryW(wide(sandbox_).c_str(), nullptr));
        app_dir_ = sandbox_ + "\\" + kGbkFolder;
        ASSERT_TRUE(CreateDirectoryW(wide(app_dir_).c_str(), nullptr));
    }
    void TearDown() override { remove_tree(sandbox_); }

    std::string runtime_dir() const { return app_dir_ + "\\ziroz"; }

    int unpack(const std::string& archive_bytes, const std::string& dest) {
        const std::string archive = sandbox_ + "\\test.zip";
        make_file(archive, archive_bytes);
        return ZipUnpacker().unpack_archive(archive, dest);
    }

    std::string sandbox_;
    std::string app_dir_;
};

TEST_F(DeployTest, FreshFolderGetsThePackageWithProgress) {
    std::vector<std::string> progress;
    int result = deploy_browser_runtime(app_dir_, [&](const UnpackProgress& p) {
        progress.push_back(std::to_string(p.done) + "/" + std::to_string(p.total) + " " + std::to_string(p.percent) +
                           "% " + std::string(p.path).substr(runtime_dir().size()));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(tree(runtime_dir()), (std::set<std::string>{"cefview(e_pair).exe", "locales\\", "Monitor\\"}));
    std::string host_exe = std::string("Z:") + QUARNEL_HOST_EXE;
    std::replace(host_exe.begin(), host_exe.end(), '/', '\\');
    EXPECT_TRUE(read_file(runtime_dir() + "\\cefview(e_pair).exe") == read_file(host_exe));
    EXPECT_TRUE(has_normal_attributes(runtime_dir() + "\\cefview(e_pair).exe"));
    EXPECT_EQ(progress, (std::vector<std::string>{"1/3 33% \\cefview(e_pair).exe", "2/3 66% \\locales\\",
                                                  "3/3 100% \\Monitor\\"}));
    // The temporary archive is the embedded package, byte for byte, and is left in place.
    std::string_view package = embedded_runtime_package();
    ASSERT_FALSE(package.empty());
    EXPECT_TRUE(read_file(app_dir_ + "\\cxtemp.zip") == package);
}

TEST_F(DeployTest, PresentHostProgramMeansNothingIsUnpacked) {
    for (bool as_folder : {false, true}) {
        remove_tree(runtime_dir());
        ASSERT_TRUE(CreateDirectoryW(wide(runtime_dir()).c_str(), nullptr));
        std::string marker = runtime_dir() + "\\cefview(e_pair).exe";
        if (as_folder)
            ASSERT_TRUE(CreateDirectoryW(wide(marker).c_str(), nullptr));
        else
            make_file(marker, "");
        EXPECT_EQ(deploy_browser_runtime(app_dir_), kRuntimeAlreadyDeployed);
        EXPECT_EQ(tree(runtime_dir()),
                  std::set<std::string>{as_folder ? "cefview(e_pair).exe\\" : "cefview(e_pair).exe"});
        EXPECT_FALSE(exists(app_dir_ + "\\cxtemp.zip"));
        EXPECT_EQ(read_file(marker), "");
    }
}

TEST_F(DeployTest, OlderTreeIsOverwrittenReadOnlyFilesIncludedAndExtraFilesStay) {
    ASSERT_TRUE(CreateDirectoryW(wide(runtime_dir()).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(wide(runtime_dir() + "\\locales").c_str(), nullptr));
    make_file(runtime_dir() + "\\libcef.dll", "old library");
    make_file(runtime_dir() + "\\locales\\en-US.pak", "old english");
    make_file(runtime_dir() + "\\extra.txt", "mine");
    SetFileAttributesW(wide(runtime_dir() + "\\libcef.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    make_file(app_dir_ + "\\cxtemp.zip", "leftover of an interrupted start");

    std::string package = ZipBuilder()
                              .file("libcef.dll", "new library")
                              .file("cefview(e_pair).exe", "host")
                              .directory("locales/")
                              .file("locales/en-US.pak", "new english")
                              .build();
    EXPECT_EQ(deploy_runtime_package(app_dir_, package), 1);
    EXPECT_EQ(read_file(runtime_dir() + "\\libcef.dll"), "new library");
    EXPECT_TRUE(has_normal_attributes(runtime_dir() + "\\libcef.dll"));
    EXPECT_EQ(read_file(runtime_dir() + "\\locales\\en-US.pak"), "new english");
    EXPECT_EQ(read_file(runtime_dir() + "\\extra.txt"), "mine");
    EXPECT_TRUE(read_file(app_dir_ + "\\cxtemp.zip") == package);
}

// Counts the windows of the calling thread: deployment never shows anything.
BOOL CALLBACK count_window(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int thread_window_count() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), count_window, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST_F(DeployTest, FolderThatCannotBeWrittenGivesMinusOneQuietly) {
    // Running as any user, a folder that is really a file, or one that does not exist, takes no
    // temporary archive.
    std::string file_not_folder = sandbox_ + "\\plain-file";
    make_file(file_not_folder, "x");
    for (const std::string& app_dir : {file_not_folder, sandbox_ + "\\missing\\deeper"}) {
        int windows_before = thread_window_count();
        EXPECT_EQ(deploy_browser_runtime(app_dir), -1) << app_dir;
        EXPECT_EQ(thread_window_count(), windows_before);
    }
    EXPECT_FALSE(exists(sandbox_ + "\\missing"));
}

TEST_F(DeployTest, FileTimesComeFromTheEntryAndAttributesEndNormal) {
    std::string archive =
        ZipBuilder().add(ZipBuilderEntry("ro.txt", "read-only in the archive").with_attributes(0x21)).build();
    ASSERT_EQ(unpack(archive, runtime_dir()), 1);
    std::string path = runtime_dir() + "\\ro.txt";
    EXPECT_TRUE(has_normal_attributes(path));
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
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
    EXPECT_EQ(CompareFileTime(&created, &written), 0);
}

TEST_F(DeployTest, EntriesThatWouldLeaveTheDestinationAreRefused) {
    const std::string dest = sandbox_ + "\\a\\dest";
    for (const char* evil : {"../evil.txt", "../../evil.txt", "sub/../../evil.txt", "..\\evil.txt", "/evil.txt",
                             "\\evil.txt", "C:/evil.txt", "C:evil.txt", "Z:/tmp/evil.txt", "../evil/"}) {
        remove_tree(sandbox_ + "\\a");
        std::string archive = ZipBuilder().file("ok.txt", "fine").file(evil, "pwned").file("after.txt", "x").build();
        EXPECT_EQ(unpack(archive, dest), 0) << evil;
        // Only the entry before the refused one was written, and nothing beside the archive.
        EXPECT_EQ(tree(sandbox_), (std::set<std::string>{"a\\", "a\\dest\\", "a\\dest\\ok.txt", "test.zip",
                                                         kGbkFolder + std::string("\\")}))
            << evil;
        EXPECT_FALSE(exists("C:\\evil.txt")) << evil;
        EXPECT_FALSE(exists("Z:\\tmp\\evil.txt")) << evil;
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
    const std::string dest = sandbox_ + "\\dest";
    for (const Case& c : cases) {
        remove_tree(dest);
        EXPECT_EQ(unpack(c.archive, dest), 0) << c.what;
        std::set<std::string> written = tree(dest);
        EXPECT_TRUE(written.empty() || written == std::set<std::string>{"n" + std::string(119, 'n') + "\\"})
            << c.what << ": " << written.size() << " paths written, first " << *written.begin();
        EXPECT_EQ(tree(sandbox_).size(), 3u + written.size()) << c.what;  // dest, the archive, the app folder
    }
}

TEST_F(DeployTest, MissingArgumentsOrArchiveGiveMinusOne) {
    ZipUnpacker unpacker;
    EXPECT_EQ(unpacker.unpack_archive("", sandbox_ + "\\dest"), -1);
    EXPECT_EQ(unpacker.unpack_archive(sandbox_ + "\\none.zip", ""), -1);
    EXPECT_EQ(unpacker.unpack_archive(sandbox_ + "\\none.zip", sandbox_ + "\\dest"), -1);
    EXPECT_EQ(unpacker.unpack_archive(sandbox_, sandbox_ + "\\dest"), -1) << "a folder is not an archive";
    EXPECT_FALSE(exists(sandbox_ + "\\dest"));
}

TEST_F(DeployTest, DestinationThatCannotBeCreatedGivesZero) {
    make_file(sandbox_ + "\\blocker", "a file where a folder should be");
    EXPECT_EQ(unpack(ZipBuilder().file("a.txt", "x").build(), sandbox_ + "\\blocker\\dest"), 0);
}

TEST_F(DeployTest, DestinationIsCreatedOneFolderAtATime) {
    std::string dest = sandbox_ + "\\one\\two\\" + kGbkFolder + "\\three\\";
    EXPECT_EQ(unpack(ZipBuilder().file("sub/deeper/a.txt", "x").build(), dest), 1);
    EXPECT_EQ(read_file(dest + "sub\\deeper\\a.txt"), "x");
}

}  // namespace
}  // namespace quarnel
