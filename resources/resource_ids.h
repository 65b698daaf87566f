#pragma once

// Identifiers of the program's built-in resources, shared by quarnel.rc and the code.

#define IDI_APP_ICON 1           // tray.ico: the tray and window icon
#define IDI_CLEAR 2              // clear.ico: the clear button's icon
#define IDR_DEFAULT_PAGE_ICON 3  // default_page.bmp as raw bytes: the picture box decodes it
