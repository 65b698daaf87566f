#pragma once

// The program's message boxes: no owner window, modal to the whole application.

#include <windows.h>

#include <string>

namespace quarnel::ui {

// Shows a message box and returns the button chosen (IDYES, IDNO, IDOK, ...).
int show_message_box(const std::wstring& text, const std::wstring& title, UINT flags);

}  // namespace quarnel::ui
