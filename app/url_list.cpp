// The address list: rows built from the address text, file drops, clearing, and the list's
// right-click menu.

#include "app/main_window.h"

#include "core/text_table.h"

#include <string>

namespace quarnel {

namespace {

// Reads a whole file. Returns false when it cannot be opened, is not a regular file, is empty,
// or cannot be read to its full size.
bool read_whole_file(const std::wstring& path, std::string& bytes) {
    ui::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF)
        return false;
    std::string data;
    try {
        data.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1 << 24));
        DWORD got = 0;
        if (!ReadFile(file.get(), data.data() + done, chunk, &got, nullptr) || got == 0)
            return false;
        done += got;
    }
    bytes = std::move(data);
    return true;
}

}  // namespace

void MainWindow::read_urls() {
    std::string text = url_text_box.text();
    url_list_view.replace_rows([&](TextTable& rows) { rebuild_url_rows(rows, text); });
}

bool MainWindow::load_dropped_file(const std::wstring& path) {
    // Several files arrive as one text of CR LF-ended paths, which names no file; so do folders,
    // empty, locked and unreadable files. In every such case the box keeps its text.
    std::string bytes;
    if (!read_whole_file(path, bytes))
        return false;
    size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        bytes.resize(nul);
    url_text_box.set_text(bytes);
    return true;
}

void MainWindow::drop_on_text_box(const std::wstring& paths) {
    load_dropped_file(paths);
}

void MainWindow::drop_on_list(const std::wstring& paths) {
    // Rows are rebuilt only from a text that was actually loaded.
    if (load_dropped_file(paths))
        read_urls();
}

void MainWindow::clear_urls() {
    int answer = ui::show_message_box(L"确定要清空当前所有网址吗？", kNoticeTitle, MB_YESNO | MB_DEFBUTTON1);
    if (answer != IDYES)
        return;
    url_text_box.set_text("");
    url_list_view.delete_all_rows();
}

void MainWindow::show_list_menu() {
    int row = url_list_view.current_row();
    if (url_list_view.cell_text(row, kUrlColumn).empty())
        return;
    POINT at{};
    GetCursorPos(&at);
    list_menu.show(hwnd(), POINT{at.x + 3, at.y + 3});
}

}  // namespace quarnel
