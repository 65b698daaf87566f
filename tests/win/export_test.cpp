// The export command against the main window's list: the dialog answered by the test on the
// export's thread (and the real dialog once, filled in by the test), the files read back cell
// by cell, and the window closed while an export runs.

#include "main_window_insides.h"

#include "test_effects.h"
#include "tests/common/sheet_reader.h"
#include "win_test_util.h"
#include "winbase/files.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quarnel {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// Dispatches this thread's messages until `event` is set; whether it was within `timeout_ms`.
bool pump_until_set(HANDLE event, DWORD timeout_ms = 30000) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD left = timeout_ms - std::min(timeout_ms, GetTickCount() - start);
        DWORD woke = MsgWaitForMultipleObjects(1, &event, FALSE, left, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0)
            return true;
        if (woke != WAIT_OBJECT_0 + 1)
            return false;
        test::pump_messages();
    }
}

win::UniqueKernelHandle make_event() {
    return win::UniqueKernelHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

std::vector<std::wstring> files_in(const std::wstring& folder) {
    std::vector<std::wstring> names;
    win::for_each_entry(folder, L"*", [&](const WIN32_FIND_DATAW& found) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    });
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<Rows> rows_of_file(const std::wstring& path) {
    std::optional<std::string> bytes = win::read_file_bytes(path);
    return bytes ? test::sheet_rows(*bytes) : std::nullopt;
}

// Lines of typical addresses.
std::string address_text(int lines) {
    std::string text;
    char line[96];
    for (int i = 0; i < lines; ++i) {
        snprintf(line, sizeof(line), "http://www.example-%06d.com/news/2026/page-%06d.html?from=list\r\n", i, i);
        text += line;
    }
    return text;
}

// Rows as read_urls makes them from `lines` addresses, every other one with a GBK title and a
// capture time, put in at one go (a cell set one at a time redraws its row).
void fill_list(ui::ListView& list, int lines) {
    std::string text = address_text(lines);
    std::string title = win::wide_to_ansi(L"新闻中心 - 示例网站，“首页”");
    list.replace_rows([&](TextTable& table) {
        rebuild_url_rows(table, text);
        for (int row = 0; row < table.row_count(); row += 2) {
            table.set_cell(row, kTitleColumn, title + std::to_string(row));
            table.set_cell(row, kTimeColumn, "2026-01-02 03:04:05");
        }
    });
}

// The effects of an export test, whose end the closing test waits for: the export's threads
// share them and may outlast the window.
class ExportEffects : public test::TestEffects {
public:
    explicit ExportEffects(HANDLE gone) : gone_(gone) {}
    ~ExportEffects() override { SetEvent(gone_); }

private:
    HANDLE gone_;
};

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window->create()); }
    void TearDown() override {
        if (window) {
            EXPECT_TRUE(wait_for_exports());
        }
    }

    MainWindowInsides inside() const { return MainWindowInsides(*window); }
    void load_rows(int rows) { fill_list(inside().url_list_view, rows); }
    bool wait_for_exports() {
        return test::pump_until([&] { return inside().list_export.running() == 0; });
    }
    // The command, as the menu gives it, to its end.
    void export_list() {
        inside().list_menu.dispatch(kCmdExportList);
        EXPECT_TRUE(wait_for_exports());
    }
    void answer_with(std::optional<std::wstring> path) {
        effects->save_answer = [path](const SaveFileDialog&) { return path; };
    }
    // What the files of an export should hold: the header captions of list columns 1 to last,
    // then every row's cells of those columns.
    Rows list_rows() const {
        const ui::ListView& list = inside().url_list_view;
        int columns = list.column_count();
        Rows rows(1);
        for (int c = 1; c < columns; ++c)
            rows[0].push_back(list.column_caption(c));
        for (int r = 0; r < list.row_count(); ++r) {
            rows.emplace_back();
            for (int c = 1; c < columns; ++c)
                rows.back().push_back(list.cell_text(r, c));
        }
        return rows;
    }

    test::TempFolder folder;
    win::UniqueKernelHandle effects_gone = make_event();
    ExportEffects* effects = new ExportEffects(effects_gone.get());
    std::unique_ptr<MainWindow> window =
        std::make_unique<MainWindow>(folder.path(), std::unique_ptr<OutsideEffects>(effects));
};

TEST_F(ExportTest, CommandWritesEveryCellOpensTheFileAndKeepsItsName) {
    load_rows(3);
    inside().url_list_view.set_cell_text(1, kTitleColumn, "");
    std::wstring path = folder.path() + L"\\导出的网址.xls";
    answer_with(path);
    export_list();
    EXPECT_EQ(rows_of_file(path), list_rows());  // the hidden time column too
    EXPECT_EQ(effects->opened_files, std::vector<std::wstring>{path});
    EXPECT_EQ(files_in(folder.path()), (std::vector<std::wstring>{L"导出的网址.xls"}));

    answer_with(std::nullopt);
    export_list();
    ASSERT_EQ(effects->dialogs.size(), 2u);
    EXPECT_EQ(effects->dialogs[0].owner, window->hwnd());
    EXPECT_EQ(effects->dialogs[0].initial_folder, window->app_dir);
    EXPECT_EQ(effects->dialogs[0].file_name, L"");
    EXPECT_EQ(effects->dialogs[1].file_name, path);
}

TEST_F(ExportTest, AFileIsReplacedWholeOrLeftAsItWas) {
    load_rows(2);
    std::string old(100000, 'x');
    struct Case {
        const char* name;
        bool existing, read_only, cancel;
        std::wstring in;  // below the test folder
        bool written;
    } cases[] = {
        {"a larger file", true, false, false, L"", true},
        {"a read-only file", true, true, false, L"", false},
        {"a cancelled dialog", true, false, true, L"", false},
        {"a folder that does not exist", false, false, false, L"\\gone", false},
    };
    for (const Case& c : cases) {
        std::wstring path = folder.path() + c.in + L"\\list.xls";
        if (c.existing)
            folder.write_file(L"list.xls", old);
        if (c.read_only)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        std::vector<std::wstring> before = files_in(folder.path());
        effects->opened_files.clear();
        answer_with(c.cancel ? std::nullopt : std::optional(path));
        export_list();

        std::optional<std::string> bytes = win::read_file_bytes(path);
        if (c.written) {
            EXPECT_EQ(rows_of_file(path), list_rows()) << c.name;
            EXPECT_EQ(effects->opened_files, std::vector<std::wstring>{path}) << c.name;
        } else {
            EXPECT_EQ(bytes, c.existing ? std::optional(old) : std::nullopt) << c.name;
            EXPECT_TRUE(effects->opened_files.empty()) << c.name;
        }
        EXPECT_EQ(files_in(folder.path()), before) << c.name;  // no temporary file left
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(ExportTest, TheFileShowsTheListAsTheDialogClosesWhileTheWindowRunsOn) {
    load_rows(4);
    win::UniqueKernelHandle in_dialog = make_event(), close_dialog = make_event();
    std::wstring path = folder.path() + L"\\list.xls";
    effects->save_answer = [&](const SaveFileDialog&) {
        SetEvent(in_dialog.get());
        WaitForSingleObject(close_dialog.get(), 30000);
        return std::optional(path);
    };
    inside().list_menu.dispatch(kCmdExportList);  // returns with the dialog open
    ASSERT_TRUE(pump_until_set(in_dialog.get()));
    inside().url_list_view.set_cell_text(3, kTitleColumn, "captured meanwhile");
    Rows expected = list_rows();
    SetEvent(close_dialog.get());
    ASSERT_TRUE(wait_for_exports());
    EXPECT_EQ(rows_of_file(path), expected);
}

TEST_F(ExportTest, TwoExportsAtOnceEachWriteTheirOwnFile) {
    load_rows(5);
    win::UniqueKernelHandle both_in_dialog = make_event();
    LONG arrived = 0;
    effects->save_answer = [&](const SaveFileDialog&) {
        LONG order = InterlockedIncrement(&arrived);
        if (order == 2)
            SetEvent(both_in_dialog.get());
        // Not an assertion: this is the export's thread. A missing file fails the test.
        if (WaitForSingleObject(both_in_dialog.get(), 30000) != WAIT_OBJECT_0)
            return std::optional<std::wstring>();
        return std::optional(folder.path() + (order == 1 ? L"\\first.xls" : L"\\second.xls"));
    };
    inside().list_menu.dispatch(kCmdExportList);
    inside().list_menu.dispatch(kCmdExportList);
    ASSERT_TRUE(wait_for_exports());
    EXPECT_EQ(files_in(folder.path()), (std::vector<std::wstring>{L"first.xls", L"second.xls"}));
    EXPECT_EQ(rows_of_file(folder.path() + L"\\first.xls"), list_rows());
    EXPECT_EQ(rows_of_file(folder.path() + L"\\second.xls"), list_rows());
    EXPECT_EQ(effects->opened_files.size(), 2u);
}

TEST_F(ExportTest, SeventyThousandRowsGoIntoTwoFilesHoldingEveryRowOnce) {
    load_rows(70000);
    std::wstring path = folder.path() + L"\\list.xls";
    answer_with(path);
    export_list();
    EXPECT_EQ(files_in(folder.path()), (std::vector<std::wstring>{L"list (2).xls", L"list.xls"}));
    std::optional<Rows> first = rows_of_file(path), second = rows_of_file(folder.path() + L"\\list (2).xls");
    ASSERT_TRUE(first && second);
    Rows expected = list_rows();
    EXPECT_EQ((*second)[0], expected[0]);
    first->insert(first->end(), second->begin() + 1, second->end());
    EXPECT_EQ(*first, expected);
    EXPECT_EQ(effects->opened_files, std::vector<std::wstring>{path});
}

TEST_F(ExportTest, ClosingTheWindowLeavesAWholeFileOrNone) {
    struct Case {
        const char* name;
        bool while_writing;  // else while the dialog is open
    } cases[] = {{"dialog open", false}, {"writing", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!window) {
            effects = new ExportEffects(effects_gone.get());
            window = std::make_unique<MainWindow>(folder.path(), std::unique_ptr<OutsideEffects>(effects));
            ASSERT_TRUE(window->create());
        }
        ResetEvent(effects_gone.get());
        // Long titles make the writing outlast the window's end by far.
        load_rows(c.while_writing ? 8000 : 10);
        if (c.while_writing) {
            inside().url_list_view.replace_rows([](TextTable& table) {
                for (int row = 0; row < table.row_count(); ++row)
                    table.set_cell(row, kTitleColumn, std::string(5000, 'x'));
            });
        }
        std::wstring path = folder.path() + L"\\list.xls";
        win::UniqueKernelHandle in_dialog = make_event(), close_dialog = make_event();
        effects->save_answer = [&, path, wait = !c.while_writing](const SaveFileDialog&) {
            SetEvent(in_dialog.get());
            if (wait)
                WaitForSingleObject(close_dialog.get(), 30000);
            return std::optional(path);
        };
        inside().list_menu.dispatch(kCmdExportList);
        ASSERT_TRUE(pump_until_set(in_dialog.get()));
        if (c.while_writing) {
            ASSERT_TRUE(test::pump_until([&] { return !files_in(folder.path()).empty(); }));
        }
        // What the program does once its window is closed; the process may end right after, so
        // what is in the folder now is what the user finds.
        window.reset();
        std::vector<std::wstring> left = files_in(folder.path());
        SetEvent(close_dialog.get());
        ASSERT_TRUE(pump_until_set(effects_gone.get()));  // the export's thread has let go of them
        EXPECT_EQ(files_in(folder.path()), left);
        if (c.while_writing) {
            // The file being written is finished first.
            EXPECT_EQ(left, std::vector<std::wstring>{L"list.xls"});
            std::optional<Rows> rows = rows_of_file(path);
            EXPECT_TRUE(rows && rows->size() == 8001);
        } else {
            EXPECT_TRUE(left.empty());
        }
        DeleteFileW(path.c_str());
    }
}

// Run by scripts/check-export-with-libreoffice.sh with QUARNEL_SHEET_CHECK_DIR set: leaves the
// files of a long export there, with the list's cells in UTF-8 ("list.csv", every field quoted),
// for LibreOffice to read back.
TEST_F(ExportTest, WritesFilesForARealReader) {
    wchar_t dir[1024] = {};
    DWORD length = GetEnvironmentVariableW(L"QUARNEL_SHEET_CHECK_DIR", dir, 1024);
    if (length == 0 || length >= 1024)
        GTEST_SKIP() << "run by scripts/check-export-with-libreoffice.sh";
    std::wstring out = test::wine_path(win::wide_to_utf8(dir));
    load_rows(kSheetRowsPerFile + 100);
    inside().url_list_view.set_cell_text(1, kTitleColumn, "a, \"b\";c");
    answer_with(out + L"\\网址列表.xls");
    export_list();
    std::string csv;
    for (const std::vector<std::string>& row : list_rows()) {
        for (size_t c = 0; c < row.size(); ++c) {
            std::string cell = win::wide_to_utf8(win::ansi_to_wide(row[c]));
            for (size_t at = 0; (at = cell.find('"', at)) != std::string::npos; at += 2)
                cell.insert(at, 1, '"');
            csv += (c ? ",\"" : "\"") + cell + "\"";
        }
        csv += "\n";
    }
    EXPECT_TRUE(win::write_whole_file(out + L"\\list.csv", csv));
}

// Finds a shown dialog box of this process other than `except`.
HWND find_dialog(HWND except = nullptr) {
    struct Search {
        HWND except, found;
    } search{except, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM param) WINAPI -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD process = 0;
            wchar_t name[16] = {};
            GetWindowThreadProcessId(hwnd, &process);
            GetClassNameW(hwnd, name, 16);
            if (hwnd != s->except && process == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
                std::wstring(name) == L"#32770") {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first shown edit box below a window: the file name box of a file dialog.
HWND find_edit(HWND dialog) {
    HWND found = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND hwnd, LPARAM param) WINAPI -> BOOL {
            wchar_t name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (std::wstring(name) != L"Edit" || !IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(param) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void click(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

TEST_F(ExportTest, TheRealDialogTakesANewNameInTheProgramsFolderAndAsksBeforeReplacing) {
    load_rows(2);
    // A new name typed without an extension: accepted, in the program's folder, as an .xls file.
    inside().list_menu.dispatch(kCmdExportList);
    HWND dialog = nullptr;
    ASSERT_TRUE(test::pump_until([&] { return (dialog = find_dialog()) != nullptr; }));
    HWND name_box = find_edit(dialog);
    ASSERT_TRUE(name_box);
    SendMessageW(name_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"网址表"));
    click(dialog, IDOK);
    ASSERT_TRUE(wait_for_exports());
    std::wstring path = folder.path() + L"\\网址表.xls";
    EXPECT_EQ(rows_of_file(path), list_rows());

    // The next export offers the same file; choosing it asks first.
    inside().url_list_view.set_cell_text(0, kTitleColumn, "second");
    inside().list_menu.dispatch(kCmdExportList);
    ASSERT_TRUE(test::pump_until([&] { return (dialog = find_dialog()) != nullptr; }));
    click(dialog, IDOK);
    HWND question = nullptr;
    ASSERT_TRUE(test::pump_until([&] { return (question = find_dialog(dialog)) != nullptr; }));
    click(question, IDYES);
    ASSERT_TRUE(wait_for_exports());
    EXPECT_EQ(rows_of_file(path), list_rows());
    EXPECT_EQ(effects->opened_files, (std::vector<std::wstring>{path, path}));
}

// Benchmark, not a timed test: a list of typical addresses, titles and times from the menu
// command to the closed file (the dialog answered at once), against read_urls on the same lines.
// Without QUARNEL_BENCH_FULL only the smallest size runs.
TEST(ExportBenchmark, MenuCommandToClosedFileAgainstReadUrls) {
    using Clock = std::chrono::steady_clock;
    auto ms_since = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    test::TempFolder folder;
    win::UniqueKernelHandle closed = make_event(), gone = make_event();
    struct Effects : ExportEffects {
        using ExportEffects::ExportEffects;
        HANDLE closed = nullptr;
        // The file is opened once it is closed under its name.
        void open_file(const std::wstring&) override { SetEvent(closed); }
    };
    auto* effects = new Effects(gone.get());
    effects->closed = closed.get();
    std::wstring path = folder.path() + L"\\bench.xls";
    effects->save_answer = [path](const SaveFileDialog&) { return std::optional(path); };
    MainWindow window(folder.path(), std::unique_ptr<OutsideEffects>(effects));
    MainWindowInsides inside{window};
    ASSERT_TRUE(window.create());
    for (int lines : test::full_benchmark() ? std::vector<int>{1000, kSheetRowsPerFile} : std::vector<int>{1000}) {
        inside.url_text_box.set_text(address_text(lines));
        auto start = Clock::now();
        inside.address_list.read_urls();
        double read_ms = ms_since(start);
        fill_list(inside.url_list_view, lines);

        ResetEvent(closed.get());
        start = Clock::now();
        inside.list_menu.dispatch(kCmdExportList);
        ASSERT_TRUE(pump_until_set(closed.get()));
        double export_ms = ms_since(start);
        std::optional<std::string> bytes = win::read_file_bytes(path);
        ASSERT_TRUE(bytes);
        printf("export %6d rows (%.1f MB file): %8.1f ms, %.2f x read_urls (%.1f ms)\n", lines,
               bytes->size() / 1048576.0, export_ms, export_ms / read_ms, read_ms);
        ASSERT_TRUE(test::pump_until([&] { return inside.list_export.running() == 0; }));
    }
}

}  // namespace
}  // namespace quarnel
