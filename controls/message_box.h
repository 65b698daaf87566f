#pragma once

// The program's message boxes: no owner window, modal to the whole application.

#include <windows.h>

#include <functional>
#include <string>

namespace quarnel::ui {

// Shows a message box and returns the button chosen (IDYES, IDNO, IDOK, ...).
int show_message_box(const std::wstring& text, const std::wstring& title, UINT flags);

// Answers message boxes without showing them, for tests; null restores the real box.
void set_message_box_answer_for_testing(std::function<int(const std::wstring& text, const std::wstring& title, UINT flags)> answer);

}  // namespace quarnel::ui
