// The whole program, run from a temporary program folder against a local HTTP server: the
// end-to-end build takes the publisher's servers from the environment this test gives it.

#include "app/main_window.h"
#include "winbase/files.h"

#include "loopback_http_server.h"
#include "win_test_util.h"
#include "winbase/text.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quarnel {
namespace {

using test::HttpResponse;
using test::TestHttpServer;

constexpr DWORD kStartTimeoutMs = 60000;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetSystemMetrics(SM_CXSCREEN) < 1440 || GetSystemMetrics(SM_CYSCREEN) < 1000)
            GTEST_SKIP() << "the screen is smaller than the window";
        ASSERT_TRUE(CopyFileW(test::wine_path(QUARNEL_E2E_PROGRAM_EXE).c_str(), program().c_str(), FALSE));
        server.route("/gotourl.txt", [this](const test::HttpRequest&) {
            return HttpResponse{200, "text/plain", "", server.url("/start.html")};
        });
        server.route("/start.html", HttpResponse{200, "text/html; charset=utf-8", "",
                                                 "<html><head><title>Start</title></head><body>start</body></html>"});
        server.route("/default.html", HttpResponse{200, "text/html", "", "<title>Default</title>"});
        ASSERT_TRUE(server.start());
        start_address = server.url("/gotourl.txt");
        default_page = server.url("/default.html");
    }
    void TearDown() override {
        stop();
        // The host ends by itself once the program's window is gone.
        EXPECT_TRUE(test::pump_until_ended(hosts));
    }

    std::wstring program() const { return folder.path() + L"\\quarnel.exe"; }
    std::wstring path(const wchar_t* name) const { return folder.path() + L"\\" + name; }
    static bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    // Starts the program and waits until its window shows. Returns the window, or null.
    HWND start() {
        SetEnvironmentVariableA("QUARNEL_START_ADDRESS_URL", start_address.c_str());
        SetEnvironmentVariableA("QUARNEL_DEFAULT_START_PAGE", default_page.c_str());
        return test::start_program(program(), folder.path(), process, kStartTimeoutMs);
    }

    // Closes the window if the program still runs; returns its exit code.
    DWORD stop() {
        if (!process.hProcess)
            return 0;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            HWND window = find_main_window();
            if (window)
                PostMessageW(window, WM_CLOSE, 0, 0);
        }
        DWORD code = wait_for_exit(20000);
        keep_hosts_of_ended_program();
        CloseHandle(process.hProcess);
        process = {};
        return code;
    }

    DWORD wait_for_exit(DWORD timeout_ms) {
        if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    // Keeps the processes the ended program started (its browser host): those whose parent it
    // was and that began while it ran. Wine gives a number again soon after its process ended, so
    // a process whose parent had the program's number before (the desktop's explorer.exe, which
    // lives on) or after it is not the program's.
    void keep_hosts_of_ended_program() {
        FILETIME created, ended, kernel, user;
        if (!GetProcessTimes(process.hProcess, &created, &ended, &kernel, &user))
            return;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot == INVALID_HANDLE_VALUE)
            return;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (entry.th32ParentProcessID != process.dwProcessId)
                continue;
            win::UniqueKernelHandle child(
                OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
            FILETIME child_created, child_ended;
            if (child && GetProcessTimes(child.get(), &child_created, &child_ended, &kernel, &user) &&
                CompareFileTime(&child_created, &created) >= 0 && CompareFileTime(&child_created, &ended) <= 0)
                hosts.push_back(std::move(child));
        }
        CloseHandle(snapshot);
    }

    HWND find_main_window() { return test::window_of_process(process.dwProcessId, L"QuarnelMainWindow"); }

    // The address box: the window's multi-line edit box.
    static HWND url_text_box(HWND main);

    static std::wstring text_of(HWND hwnd) {
        std::wstring text(static_cast<size_t>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }

    test::TempFolder folder;
    TestHttpServer server;
    std::string start_address;
    std::string default_page;
    PROCESS_INFORMATION process{};
    std::vector<win::UniqueKernelHandle> hosts;  // of the programs stop() ended
};

TEST_F(ProgramTest, FirstStartDeploysShowsTheWindowCentredAndLoadsTheStartPage) {
    HWND window = start();
    ASSERT_TRUE(window);
    EXPECT_TRUE(exists(path(L"ziroz\\cefview(e_pair).exe")));
    EXPECT_TRUE(exists(path(L"ziroz\\locales")));
    EXPECT_TRUE(exists(path(L"ziroz\\Monitor")));
    EXPECT_FALSE(exists(path(L"cxtemp.zip")));

    RECT r{};
    GetWindowRect(window, &r);
    RECT area = ui::work_area_for(window);
    EXPECT_EQ(r.right - r.left, 1400);
    EXPECT_EQ(r.bottom - r.top, 942);
    EXPECT_EQ(r.left - area.left, area.right - r.right);

    // The real host loads the start page into the browser view.
    EXPECT_TRUE(test::pump_until([&] { return server.hits("/start.html") > 0; }, 20000));
    EXPECT_EQ(server.hits("/gotourl.txt"), 1);
}

TEST_F(ProgramTest, SecondStartUnpacksNothingAndDeletesALeftoverArchive) {
    ASSERT_TRUE(start());
    stop();
    ASSERT_TRUE(test::pump_until_ended(hosts));
    // A time long past on the host program: a rewrite would give it the archive's time or now.
    FILETIME old{0x12345678, 0x01C00000};
    {
        win::UniqueFile host(CreateFileW(path(L"ziroz\\cefview(e_pair).exe").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(host);
        ASSERT_TRUE(SetFileTime(host.get(), nullptr, nullptr, &old));
    }
    folder.write_file(L"cxtemp.zip", "left over from an earlier run");
    ASSERT_TRUE(start());
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(path(L"ziroz\\cefview(e_pair).exe").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &old), 0);
    EXPECT_FALSE(exists(path(L"cxtemp.zip")));
}

TEST_F(ProgramTest, AddressFileShowsOnlyTheTextBeforeANul) {
    folder.write_file(L"网址.txt", std::string("http://a/\r\nhttp://\xD6\xD0\xCE\xC4/\0http://hidden/", 38));
    HWND window = start();
    ASSERT_TRUE(window);
    EXPECT_EQ(text_of(url_text_box(window)), L"http://a/\r\nhttp://中文/");
}

TEST_F(ProgramTest, UnreachableStartAddressServerGivesTheDefaultPage) {
    start_address = "http://127.0.0.1:" + std::to_string(test::LoopbackHttpServer::unused_port()) + "/gotourl.txt";
    ASSERT_TRUE(start());
    EXPECT_TRUE(test::pump_until([&] { return server.hits("/default.html") > 0; }, 20000));
    EXPECT_EQ(server.hits("/start.html"), 0);
}

TEST_F(ProgramTest, TrayNotificationsHideAndShowTheWindow) {
    HWND window = start();
    ASSERT_TRUE(window);
    auto tray = [&](UINT mouse) { SendMessageW(window, kTrayMessage, kTrayIconId, mouse); };
    tray(WM_LBUTTONUP);
    EXPECT_FALSE(IsWindowVisible(window));
    tray(WM_LBUTTONUP);
    EXPECT_TRUE(IsWindowVisible(window));
    // A double-click arrives as three notifications, and so toggles three times.
    tray(WM_LBUTTONUP);
    tray(WM_LBUTTONDBLCLK);
    tray(WM_LBUTTONUP);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(ProgramTest, ExitFromTheTrayMenuKeepsTheTypedText) {
    HWND window = start();
    ASSERT_TRUE(window);
    SendMessageW(url_text_box(window), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"http://typed/中文"));
    PostMessageW(window, WM_COMMAND, kCmdExitProgram, 0);
    EXPECT_EQ(wait_for_exit(20000), 0u);
    EXPECT_EQ(win::read_file_bytes(path(L"网址.txt")), "http://typed/\xD6\xD0\xCE\xC4");
}

struct WantedChild {
    const wchar_t* class_name;
    const wchar_t* caption;
    DWORD with, without;
    HWND found;
};

BOOL CALLBACK match_child(HWND child, LPARAM data) {
    auto* w = reinterpret_cast<WantedChild*>(data);
    wchar_t name[64] = {}, text[64] = {};
    GetClassNameW(child, name, 64);
    GetWindowTextW(child, text, 64);
    DWORD style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
    if (_wcsicmp(name, w->class_name) != 0 || (w->caption && wcscmp(text, w->caption) != 0) ||
        (style & w->with) != w->with || (style & w->without) != 0)
        return TRUE;
    w->found = child;
    return FALSE;
}

// The first child of `parent` of the class and, when given, the caption, with the style bits
// `with` and none of `without`.
HWND find_child(HWND parent,
                const wchar_t* class_name,
                const wchar_t* caption = nullptr,
                DWORD with = 0,
                DWORD without = 0) {
    WantedChild wanted{class_name, caption, with, without, nullptr};
    EnumChildWindows(parent, &match_child, reinterpret_cast<LPARAM>(&wanted));
    return wanted.found;
}

HWND ProgramTest::url_text_box(HWND main) {
    return find_child(main, L"Edit", nullptr, ES_MULTILINE);
}

// The list view of another process read through memory lent in that process.
class RemoteListView {
public:
    RemoteListView(HANDLE process, HWND list) : process_(process), list_(list) {
        remote_ = VirtualAllocEx(process, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteListView() {
        if (remote_)
            VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    }
    int row_count() const { return int(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring cell(int row, int column) const {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kTextChars;
        item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote_) + sizeof(LVITEMW));
        if (!remote_ || !WriteProcessMemory(process_, remote_, &item, sizeof(item), nullptr))
            return L"<unreadable>";
        int length = int(SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote_)));
        std::wstring text(size_t(std::clamp(length, 0, kTextChars - 1)), L'\0');
        ReadProcessMemory(process_, item.pszText, text.data(), text.size() * sizeof(wchar_t), nullptr);
        return text;
    }

private:
    static constexpr int kTextChars = 1024;
    static constexpr SIZE_T kSize = sizeof(LVITEMW) + kTextChars * sizeof(wchar_t);
    HANDLE process_;
    HWND list_;
    void* remote_ = nullptr;
};

std::wstring today() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[16];
    swprintf(text, 16, L"%04u-%02u-%02u ", now.wYear, now.wMonth, now.wDay);
    return text;
}

// The timed pass through the window, as a user makes it: 5 addresses typed and read in, the
// interval ticked and set to 1.5 s, the pass started; afterwards every row holds its page's title
// and visit time, and the last page's icon is on screen.
TEST_F(ProgramTest, TimedPassOverFivePagesFillsEveryRow) {
    constexpr int kPages = 5;
    auto colour_of = [](int page) { return RGB(10 * page, 200, 250 - 10 * page); };
    std::wstring addresses;
    server.stop();  // routes are added while nothing is served
    for (int page = 1; page <= kPages; ++page) {
        std::string n = std::to_string(page);
        std::string icon_path = "/icon" + n + "/favicon.ico";
        server.route(icon_path, HttpResponse{200, "image/x-icon", "", test::solid_icon(colour_of(page))});
        server.route("/p" + n + ".html", [this, n, icon_path](const test::HttpRequest&) {
            std::string body = "<html><head><title>第" + n + "页 Page " + n + "</title><link rel=\"icon\" href=\"";
            body.append(server.url(icon_path)).append("\"></head><body>page ").append(n).append("</body></html>");
            return HttpResponse{200, "text/html; charset=utf-8", "", body};
        });
    }
    ASSERT_TRUE(server.start());
    start_address = server.url("/gotourl.txt");
    default_page = server.url("/default.html");
    for (int page = 1; page <= kPages; ++page)
        addresses += server.wide_url("/p" + std::to_string(page) + ".html") + L"\r\n";

    HWND window = start();
    ASSERT_TRUE(window);
    SendMessageW(url_text_box(window), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(addresses.c_str()));
    SendMessageW(find_child(window, L"Button", L"读入网址"), BM_CLICK, 0, 0);
    SendMessageW(find_child(window, L"Button", L"每隔："), BM_CLICK, 0, 0);
    HWND interval = find_child(window, L"Edit", nullptr, 0, ES_MULTILINE);
    ASSERT_TRUE(interval);
    SendMessageW(interval, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1.5"));
    HWND start_button = find_child(window, L"Button", L"启动");
    ASSERT_TRUE(start_button);
    SendMessageW(start_button, BM_CLICK, 0, 0);
    EXPECT_EQ(text_of(start_button), L"停止");
    EXPECT_TRUE(test::pump_until([&] { return text_of(start_button) == L"启动"; }, 120000));

    RemoteListView list(process.hProcess, find_child(window, L"SysListView32"));
    ASSERT_EQ(list.row_count(), kPages);
    std::wstring date = today();
    for (int row = 0; row < kPages; ++row) {
        std::wstring n = std::to_wstring(row + 1);
        EXPECT_EQ(list.cell(row, 2), L"第" + n + L"页 Page " + n) << row;
        std::wstring time = list.cell(row, 3);
        EXPECT_TRUE(time.size() == 19 && time.compare(0, date.size(), date) == 0 && time[13] == L':' &&
                    time[16] == L':')
            << row << ": " << time;
    }
    // The icon: the middle of the picture box on screen has the last page's colour.
    RECT picture{};
    GetWindowRect(find_child(window, L"QuarnelPictureBox"), &picture);
    HDC screen = GetDC(nullptr);
    COLORREF seen = GetPixel(screen, (picture.left + picture.right) / 2, (picture.top + picture.bottom) / 2);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(seen, colour_of(kPages));
}

}  // namespace
}  // namespace quarnel

namespace quarnel {
namespace {

// Benchmark, not a timed test: from process start to the window shown, for a first start (which
// deploys the runtime) and a later one, with the start-address server answering at once. The
// smoke run (without QUARNEL_BENCH_FULL) makes the first start only.
TEST_F(ProgramTest, BenchmarkTimeToWindowShown) {
    int starts = test::full_benchmark() ? 2 : 1;
    for (int i = 0; i < starts; ++i) {
        DWORD begin = GetTickCount();
        ASSERT_TRUE(start());
        printf("time to window shown, %s: %lu ms\n", i == 0 ? "first start, deploying" : "later start        ",
               GetTickCount() - begin);
        stop();
        ASSERT_TRUE(test::pump_until_ended(hosts));
    }
}

}  // namespace
}  // namespace quarnel
