# Settings for the native build of core/: AddressSanitizer and UndefinedBehaviorSanitizer on
# everything, Debian's -dev packages for the dependencies, and libFuzzer when built with clang.

set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${sanitizers} -g)
add_link_options(${sanitizers})

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    option(QUARNEL_FUZZ "Build the libFuzzer targets" ON)
else()
    option(QUARNEL_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
endif()

find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
add_library(quarnel::zlib ALIAS ZLIB::ZLIB)
add_library(quarnel::png ALIAS PNG::PNG)
add_library(quarnel::jpeg ALIAS JPEG::JPEG)
add_library(quarnel_minizip INTERFACE)
target_link_libraries(quarnel_minizip INTERFACE PkgConfig::MINIZIP ZLIB::ZLIB)
add_library(quarnel::minizip ALIAS quarnel_minizip)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
