#include "controls/message_box.h"

namespace quarnel::ui {

int show_message_box(const std::wstring& text, const std::wstring& title, UINT flags) {
    // MB_TASKMODAL without an owner disables every window of this thread while the box is up.
    return MessageBoxW(nullptr, text.c_str(), title.c_str(), flags | MB_TASKMODAL);
}

}  // namespace quarnel::ui
