#include "app/page_icon.h"

#include "resource_ids.h"

#include <windows.h>

namespace quarnel {

std::string_view default_page_icon() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_DEFAULT_PAGE_ICON), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded)
        return {};
    return std::string_view(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
}

}  // namespace quarnel
