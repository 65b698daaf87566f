#include "host/page_engine.h"

#include "winbase/files.h"
#include "winbase/text.h"

namespace quarnel::host {

// What the host chose, and why not a browser, in "host-engine.log" in the cache folder: the
// first place to look when pages show differently on one machine.
void write_engine_log(const std::wstring& cache_path, const std::wstring& text) {
    if (cache_path.empty())
        return;
    CreateDirectoryW(cache_path.c_str(), nullptr);
    win::replace_file_contents(cache_path + L"\\host-engine.log", win::wide_to_utf8(text));
}

}  // namespace quarnel::host
