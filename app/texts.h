#pragma once

// Captions the program's features share.

namespace quarnel {

inline constexpr wchar_t kAppTitle[] = L"Quarnel网址管理器";
inline constexpr wchar_t kNoticeTitle[] = L"Quarnel提醒您：";

}  // namespace quarnel
