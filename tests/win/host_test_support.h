#pragma once

// Helpers of the browser host's tests: the host program's path as Wine sees it and the pages they
// serve; with them, the shared helpers and the small HTTP server on 127.0.0.1.

#include "tests/win/loopback_http_server.h"
#include "win_test_util.h"

#include <string>

namespace quarnel::test {

// The browser host program in the build tree, as Wine sees it.
inline std::wstring host_program_path() {
    return test::wine_path(QUARNEL_HOST_EXE);
}

// The text of the test pages: 中文标题 (title) and 你好 (body), in UTF-8 or GBK.
constexpr char kUtf8Title[] = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87\xE9\xA2\x98";
constexpr char kUtf8Body[] = "\xE4\xBD\xA0\xE5\xA5\xBD";
constexpr char kGbkTitle[] = "\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2";
constexpr char kGbkBody[] = "\xC4\xE3\xBA\xC3";

}  // namespace quarnel::test
