#pragma once

// What a test can ask of the scripted host, besides the host protocol itself. Each request is a
// WM_COPYDATA sent to the host's message window; the host answers it at once and does the work
// afterwards from its own message loop, so the test's thread is free to take what the host sends.

#include <cstdint>

namespace quarnel::scripted_host {

// How to answer the next page-source requests. Payload: UTF-16 text "mode" or "mode:argument":
//   text:<source>  a WM_COPYDATA reply with the source
//   empty          a WM_COPYDATA reply with empty text
//   plain          a plain reply without text
//   none           no answer at all
//   die            no answer; the host ends shortly after the request
//   size:<n>       a WM_COPYDATA reply with n characters of generated text
inline constexpr std::uint32_t kSetReply = 0x9001;

// Sends one message to the browser view. Payload: 32-bit how (0 = post a plain message,
// 1 = send WM_COPYDATA), 32-bit code, 32-bit wParam, 32-bit lParam, then the WM_COPYDATA payload
// bytes, sent as they are (also malformed ones). The message result is logged as "result <code> <n>".
inline constexpr std::uint32_t kSendToView = 0x9002;
inline constexpr std::uint32_t kPost = 0;
inline constexpr std::uint32_t kSendCopyData = 1;

// Sends a burst of status-text notifications (WM_COPYDATA 0x8832) whose texts are 0, 1, 2, ...
// Payload: 32-bit count, 32-bit view id. Logs "burst done" at the end.
inline constexpr std::uint32_t kBurst = 0x9003;

// Ends the host process (no payload).
inline constexpr std::uint32_t kExit = 0x9004;

// Destroys the host's message window; the process keeps running until the view is gone.
inline constexpr std::uint32_t kCloseWindow = 0x9005;

}  // namespace quarnel::scripted_host
