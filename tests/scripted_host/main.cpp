// The scripted browser host for the browser view's tests. It keeps the host's contract as far as
// the tests need it: it reads its command line, reports ready with its message window, answers
// the engine-ready and create-child commands, stores the child area and URL, creates a child
// window as the new view, records every command in a log file, answers page-source requests as
// the test scripted, and sends the browser view whatever a test asks for.
//
// Options in the extra command-line text: --log="file" (where commands are recorded, UTF-8, one
// line each), --ready-delay=<ms>, --no-ready (never reports ready), --exit-at-start,
// --exit-after=<ms>. Started as the program starts its engine (no extra text), it takes them from
// "host-options.txt" in its working folder when there is one.

#include "core/host_command_line.h"
#include "core/host_protocol.h"
#include "tests/scripted_host/script.h"
#include "winbase/text.h"

#include <windows.h>

#include <deque>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace hp = quarnel::host_protocol;
namespace sh = quarnel::scripted_host;

constexpr UINT kDoWork = WM_APP + 1;
constexpr UINT kCloseNow = WM_APP + 2;
constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT_PTR kReadyTimer = 2;
constexpr UINT_PTR kDieTimer = 3;

struct Host {
    HWND window = nullptr;
    HWND view = nullptr;
    LPARAM handler = 0;
    std::wstring log_path;
    hp::ChildArea area;
    bool has_area = false;
    std::u16string child_url;
    std::wstring reply_mode = L"plain";
    std::wstring reply_argument;
    std::deque<std::vector<std::uint8_t>> work;  // script requests not yet carried out
} host;

std::string utf8(std::wstring_view text) {
    return quarnel::win::wide_to_utf8(text);
}

std::string utf8(std::u16string_view text) {
    return utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

void log_line(const std::string& line) {
    if (host.log_path.empty())
        return;
    HANDLE file = CreateFileW(host.log_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string hex(std::uint32_t code) {
    char buffer[16];
    wsprintfA(buffer, "%x", code);
    return buffer;
}

std::wstring read_options_file(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    char bytes[1024];
    DWORD read = 0;
    ReadFile(file, bytes, sizeof(bytes), &read, nullptr);
    CloseHandle(file);
    return quarnel::win::utf8_to_wide(std::string_view(bytes, read));
}

std::wstring option_text(std::wstring_view extra, std::wstring_view option) {
    size_t at = extra.find(option);
    if (at == std::wstring_view::npos)
        return {};
    at += option.size();
    size_t end = extra.find(L'"', at);
    return std::wstring(extra.substr(at, end == std::wstring_view::npos ? std::wstring_view::npos : end - at));
}

LRESULT send_copydata(std::uint32_t code, const void* data, size_t size) {
    COPYDATASTRUCT cds{code, static_cast<DWORD>(size), const_cast<void*>(data)};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(host.view, WM_COPYDATA, reinterpret_cast<WPARAM>(host.window),
                             reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, 30000, &result))
        log_line("send " + hex(code) + " of " + std::to_string(size) + " bytes failed, error " +
                 std::to_string(GetLastError()));
    return static_cast<LRESULT>(result);
}

void answer_page_source() {
    const std::wstring& mode = host.reply_mode;
    if (mode == L"plain") {
        PostMessageW(host.view, hp::kPageSource, 0, 0);
    } else if (mode == L"text" || mode == L"empty" || mode == L"size") {
        std::u16string text;
        if (mode == L"text") {
            text.assign(reinterpret_cast<const char16_t*>(host.reply_argument.data()), host.reply_argument.size());
        } else if (mode == L"size") {
            size_t n = wcstoul(host.reply_argument.c_str(), nullptr, 10);
            text.reserve(n);
            static const char16_t kPattern[] = u"<p>scripted page source \u4E2D\u6587</p>\r\n";
            for (size_t i = 0; i < n; ++i)
                text.push_back(kPattern[i % (std::size(kPattern) - 1)]);
        }
        hp::Bytes payload = hp::encode_text(text);
        send_copydata(hp::kPageSource, payload.data(), payload.size());
    } else if (mode == L"die") {
        SetTimer(host.window, kDieTimer, 300, nullptr);
    }
    // "none": no answer.
}

void send_burst(hp::ByteSpan data) {
    if (data.size() < 8)
        return;
    std::uint32_t count = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    std::uint32_t view = data[4] | data[5] << 8 | data[6] << 16 | static_cast<std::uint32_t>(data[7]) << 24;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string number = std::to_string(i);
        hp::Bytes payload = hp::encode_view_text({view, std::u16string(number.begin(), number.end())});
        send_copydata(hp::kStatusTextChanged, payload.data(), payload.size());
    }
    log_line("burst done");
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& data, size_t at) {
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
}

void do_work() {
    while (!host.work.empty()) {
        std::vector<std::uint8_t> item = std::move(host.work.front());
        host.work.pop_front();
        std::uint32_t kind = u32_at(item, 0);
        if (kind == sh::kBurst) {
            send_burst(hp::ByteSpan(item).subspan(4));
        } else if (kind == hp::kPageSource) {
            answer_page_source();
        } else if (kind == sh::kSendToView && item.size() >= 20) {
            std::uint32_t how = u32_at(item, 4), code = u32_at(item, 8);
            WPARAM wp = u32_at(item, 12);
            LPARAM lp = static_cast<LPARAM>(u32_at(item, 16));
            LRESULT result = 0;
            if (how == sh::kPost)
                PostMessageW(host.view, code, wp, lp);
            else
                result = send_copydata(code, item.data() + 20, item.size() - 20);
            log_line("result " + hex(code) + " " + std::to_string(result));
        }
    }
}

void queue_work(std::uint32_t kind, hp::ByteSpan data) {
    std::vector<std::uint8_t> item(4);
    item[0] = static_cast<std::uint8_t>(kind);
    item[1] = static_cast<std::uint8_t>(kind >> 8);
    item.insert(item.end(), data.begin(), data.end());
    host.work.push_back(std::move(item));
    PostMessageW(host.window, kDoWork, 0, 0);
}

LRESULT on_copydata(const COPYDATASTRUCT& cds) {
    hp::ByteSpan data;
    if (cds.lpData)
        data = hp::ByteSpan(static_cast<const std::uint8_t*>(cds.lpData), cds.cbData);
    auto code = static_cast<std::uint32_t>(cds.dwData);
    switch (code) {
        case hp::kChildArea:
            if (auto area = hp::decode_child_area(data)) {
                host.area = *area;
                host.has_area = true;
                log_line("8820 " + std::to_string(area->x) + " " + std::to_string(area->y) + " " +
                         std::to_string(area->width) + " " + std::to_string(area->height) + " " +
                         std::to_string(area->parent) + " size " + std::to_string(cds.cbData));
            }
            return 0;
        case hp::kChildUrl:
            host.child_url = hp::decode_text(data);
            log_line("8818 " + utf8(host.child_url) + " size " + std::to_string(cds.cbData));
            return 0;
        case hp::kNavigate:
            if (auto nav = hp::decode_view_text(data))
                log_line("8836 " + std::to_string(nav->view_id) + " " + utf8(nav->text) + " size " +
                         std::to_string(cds.cbData));
            return 0;
        case hp::kPageSource:
            if (auto request = hp::decode_page_source_request(data)) {
                log_line("8848 " + std::to_string(request->view_id) + " " + std::to_string(request->frame_flag) + " " +
                         utf8(request->frame) + " size " + std::to_string(cds.cbData));
                queue_work(hp::kPageSource, {});
            }
            return 0;
        case sh::kSetReply: {
            std::u16string text = hp::decode_text(data);
            std::wstring script(text.begin(), text.end());
            size_t colon = script.find(L':');
            host.reply_mode = script.substr(0, colon);
            host.reply_argument = colon == std::wstring::npos ? std::wstring() : script.substr(colon + 1);
            return 1;
        }
        case sh::kSendToView:
        case sh::kBurst:
            queue_work(code, data);
            return 1;
        case sh::kExit:
            SetTimer(host.window, kDieTimer, 1, nullptr);
            return 1;
        case sh::kCloseWindow:
            PostMessageW(host.window, kCloseNow, 0, 0);
            return 1;
        default:
            return 0;
    }
}

LRESULT CALLBACK host_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COPYDATA:
            return on_copydata(*reinterpret_cast<const COPYDATASTRUCT*>(lp));
        case hp::kEngineReady:
            log_line("8821");
            return 1;
        case hp::kCreateChild: {
            if (!host.has_area) {
                log_line("8822 -> 0");
                return 0;
            }
            HWND child =
                CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, host.area.x, host.area.y, host.area.width,
                                host.area.height, reinterpret_cast<HWND>(static_cast<UINT_PTR>(host.area.parent)),
                                nullptr, GetModuleHandleW(nullptr), nullptr);
            log_line("8822 -> " + std::to_string(reinterpret_cast<UINT_PTR>(child)));
            if (child)
                PostMessageW(host.view, hp::kViewCreated, 0, reinterpret_cast<LPARAM>(child));
            return child ? 1 : 0;
        }
        case hp::kResize:
            log_line("8850 " + std::to_string(wp) + " " + std::to_string(lp));
            return 0;
        case kDoWork:
            do_work();
            return 0;
        case kCloseNow:
            log_line("closing window");
            DestroyWindow(hwnd);
            return 0;
        case WM_TIMER:
            if (wp == kReadyTimer) {
                KillTimer(hwnd, kReadyTimer);
                PostMessageW(host.view, hp::kHostReady, reinterpret_cast<WPARAM>(hwnd), host.handler);
            } else if (wp == kDieTimer) {
                log_line("dying");
                ExitProcess(3);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const wchar_t* command_line = GetCommandLineW();
    auto args = quarnel::parse_host_command_line(utf8(std::wstring_view(command_line)));
    std::wstring extra = args ? quarnel::win::utf8_to_wide(args->extra) : std::wstring();
    if (extra.empty())
        extra = read_options_file(L"host-options.txt");
    host.log_path = option_text(extra, L"--log=\"");
    // Started as the program starts its engine (no extra text), it logs beside itself.
    if (host.log_path.empty())
        host.log_path = L"host.log";
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    log_line("cmdline " + utf8(std::wstring_view(command_line)));
    log_line("cwd " + utf8(std::wstring_view(cwd)));
    if (!args || extra.find(L"--exit-at-start") != std::wstring::npos)
        return 2;
    host.view = reinterpret_cast<HWND>(static_cast<INT_PTR>(args->view));
    host.handler = static_cast<LPARAM>(args->handler);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = host_proc;
    wc.hInstance = instance;
    wc.lpszClassName = L"QuarnelScriptedHost";
    RegisterClassExW(&wc);
    host.window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!host.window)
        return 1;

    std::wstring exit_after = option_text(extra, L"--exit-after=");
    if (!exit_after.empty())
        SetTimer(host.window, kDieTimer, wcstoul(exit_after.c_str(), nullptr, 10), nullptr);
    if (extra.find(L"--no-ready") == std::wstring::npos) {
        std::wstring delay = option_text(extra, L"--ready-delay=");
        SetTimer(host.window, kReadyTimer, delay.empty() ? 1 : wcstoul(delay.c_str(), nullptr, 10), nullptr);
    }
    // The host ends soon after the browser view's window is gone.
    SetTimer(nullptr, kWatchTimer, 250, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && !msg.hwnd) {
            if (!IsWindow(host.view))
                break;
            continue;
        }
        DispatchMessageW(&msg);
    }
    return 0;
}
