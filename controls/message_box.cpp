#include "controls/message_box.h"

namespace quarnel::ui {

namespace {

std::function<int(const std::wstring&, const std::wstring&, UINT)>& answer_hook() {
    static std::function<int(const std::wstring&, const std::wstring&, UINT)> hook;
    return hook;
}

}  // namespace

int show_message_box(const std::wstring& text, const std::wstring& title, UINT flags) {
    if (answer_hook())
        return answer_hook()(text, title, flags);
    // MB_TASKMODAL without an owner disables every window of this thread while the box is up.
    return MessageBoxW(nullptr, text.c_str(), title.c_str(), flags | MB_TASKMODAL);
}

void set_message_box_answer_for_testing(
    std::function<int(const std::wstring& text, const std::wstring& title, UINT flags)> answer) {
    answer_hook() = std::move(answer);
}

}  // namespace quarnel::ui
