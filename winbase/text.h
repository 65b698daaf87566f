#pragma once

// Conversions at the edge of the controls: the program's data is 8-bit text in the ANSI code
// page, the controls are wide-character windows.

#include <string>
#include <string_view>

namespace quarnel::win {

// Text in any code page the system converts; empty when it cannot convert it.
std::wstring multibyte_to_wide(unsigned code_page, std::string_view text);
std::wstring ansi_to_wide(std::string_view ansi);
std::string wide_to_ansi(std::wstring_view wide);
std::wstring utf8_to_wide(std::string_view utf8);
std::string wide_to_utf8(std::wstring_view wide);

// The browser host's texts are UTF-16 as char16_t; a wchar_t is the same 16-bit unit here, so
// these only change the type.
std::u16string to_u16(std::wstring_view wide);
std::wstring_view as_wide(std::u16string_view text);

// One argument of a command line, quoted so that the receiving side (CommandLineToArgvW, the C
// runtime) splits it back unchanged.
std::wstring quoted_argument(const std::wstring& argument);

}  // namespace quarnel::win
