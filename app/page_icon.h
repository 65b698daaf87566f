#pragma once

// The built-in picture shown for a page until its own icon replaces it.

#include <string_view>

namespace quarnel {

// BMP file bytes, from the program's resources; empty when they cannot be loaded.
std::string_view default_page_icon();

}  // namespace quarnel
