#pragma once

// Outside effects for tests: nothing is shown and nothing goes to the network; each effect is
// recorded and answered by a function the test may set.

#include "app/outside_effects.h"
#include "winbase/lock.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quarnel::test {

class TestEffects : public OutsideEffects {
public:
    struct Box {
        std::wstring text, title;
        UINT flags;
    };
    struct Menu {
        HMENU menu;
        HWND owner;
        POINT at;
    };

    int message_box(const std::wstring& text, const std::wstring& title, UINT flags) override {
        boxes.push_back({text, title, flags});
        return answer ? answer(text, title, flags) : IDCANCEL;
    }
    void show_popup_menu(const ui::PopupMenu& menu, HWND owner, POINT at) override {
        menus.push_back({menu.handle(), owner, at});
    }
    std::string fetch(const std::string& url, size_t max_bytes) override {
        return fetcher ? fetcher(url) : OutsideEffects::fetch(url, max_bytes);
    }

    void set_clipboard_text(const std::string& text) override { clipboard.push_back(text); }
    void shell_open(const std::string& address) override { opened.push_back(address); }
    void show_balloon(ui::BalloonTip&, POINT at, const std::wstring& text) override { balloons.push_back({text, at}); }

    // The export's effects come from its threads: recorded under `lock`.
    void open_file(const std::wstring& path) override {
        std::lock_guard hold(lock);
        opened_files.push_back(path);
    }
    std::optional<std::wstring> choose_save_file(const SaveFileDialog& dialog) override {
        {
            std::lock_guard hold(lock);
            dialogs.push_back(dialog);
        }
        return save_answer ? save_answer(dialog) : OutsideEffects::choose_save_file(dialog);
    }

    struct Balloon {
        std::wstring text;
        POINT at;
    };
    std::function<int(const std::wstring&, const std::wstring&, UINT)> answer;
    std::function<std::string(const std::string&)> fetcher;  // null: the real download
    // Called on the export's thread; null: the real dialog.
    std::function<std::optional<std::wstring>(const SaveFileDialog&)> save_answer;
    win::Lock lock;
    std::vector<SaveFileDialog> dialogs;
    std::vector<std::wstring> opened_files;
    std::vector<Box> boxes;
    std::vector<Menu> menus;
    std::vector<std::string> clipboard, opened;
    std::vector<Balloon> balloons;
};

}  // namespace quarnel::test
