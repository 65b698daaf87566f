#include "winbase/text.h"

#include <windows.h>

namespace quarnel::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 texts are handed over as wchar_t");

namespace {

std::string from_wide(UINT code_page, std::wstring_view text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

std::wstring multibyte_to_wide(unsigned code_page, std::string_view text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring ansi_to_wide(std::string_view ansi) {
    return multibyte_to_wide(CP_ACP, ansi);
}

std::string wide_to_ansi(std::wstring_view wide) {
    return from_wide(CP_ACP, wide);
}

std::wstring utf8_to_wide(std::string_view utf8) {
    return multibyte_to_wide(CP_UTF8, utf8);
}

std::string wide_to_utf8(std::wstring_view wide) {
    return from_wide(CP_UTF8, wide);
}

std::wstring quoted_argument(const std::wstring& argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::u16string to_u16(std::wstring_view wide) {
    return {reinterpret_cast<const char16_t*>(wide.data()), wide.size()};
}

std::wstring_view as_wide(std::u16string_view text) {
    return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

}  // namespace quarnel::win
