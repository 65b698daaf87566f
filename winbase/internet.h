#pragma once

// The owner of a WinINet handle (session, connection or request).

#include "winbase/handles.h"

#include <wininet.h>

namespace quarnel::win {

struct InternetHandleTraits {
    static HINTERNET invalid() { return nullptr; }
    static void close(HINTERNET h) { InternetCloseHandle(h); }
};
using UniqueInternet = UniqueHandle<HINTERNET, InternetHandleTraits>;

}  // namespace quarnel::win
