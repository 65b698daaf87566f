# Settings for the Windows target: static linking, the dependencies built by
# scripts/build-deps.sh, GoogleTest, and Wine as the emulator that runs the test programs.

enable_language(RC)

# Asked of scripts/build-deps.sh at each configure (it answers at once once the build it keys by
# the versions and its own text is in the cache), so that a changed dependency build reaches an
# existing build folder too; QUARNEL_DEPS_PREFIX given on the command line is taken as it is.
set(QUARNEL_DEPS_PREFIX "" CACHE PATH "Install prefix of the dependencies (empty: built by scripts/build-deps.sh)")
if(QUARNEL_DEPS_PREFIX)
    set(quarnel_deps_prefix "${QUARNEL_DEPS_PREFIX}")
else()
    execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/build-deps.sh ${CMAKE_SYSTEM_PROCESSOR}
                    OUTPUT_VARIABLE deps_out OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX REPLACE ".*\n" "" quarnel_deps_prefix "${deps_out}")
endif()

# Windows 7 is the oldest system served.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# One .exe without MinGW or C++ runtime DLLs beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

foreach(lib z minizip png16 jpeg)
    add_library(dep_${lib} STATIC IMPORTED GLOBAL)
    set_target_properties(dep_${lib} PROPERTIES
        IMPORTED_LOCATION ${quarnel_deps_prefix}/lib/lib${lib}.a
        INTERFACE_INCLUDE_DIRECTORIES ${quarnel_deps_prefix}/include)
endforeach()
# The unzip header is included as <unzip.h>, as with Debian's native package.
set_property(TARGET dep_minizip APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${quarnel_deps_prefix}/include/minizip)
set_property(TARGET dep_minizip PROPERTY INTERFACE_LINK_LIBRARIES dep_z)
set_property(TARGET dep_png16 PROPERTY INTERFACE_LINK_LIBRARIES dep_z)
add_library(quarnel::zlib ALIAS dep_z)
add_library(quarnel::minizip ALIAS dep_minizip)
add_library(quarnel::png ALIAS dep_png16)
add_library(quarnel::jpeg ALIAS dep_jpeg)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Every Windows test program runs under Wine through this wrapper, with a private prefix in the
# build folder: a 32-bit Windows prefix run by Debian's wine for the 32-bit build, a 64-bit one
# run by its wine64 for the 64-bit build (Debian's wine64 runs 64-bit programs only).
set(QUARNEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(QUARNEL_WINEARCH win64)
    find_program(QUARNEL_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    find_program(QUARNEL_WINE_LOADER NAMES wine64 REQUIRED)
else()
    set(QUARNEL_WINEARCH win32)
    set(QUARNEL_WINE_LOADER wine)
endif()
configure_file(${CMAKE_SOURCE_DIR}/scripts/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run --output-through-file)

# Checks that an executable imports nothing but DLLs that every Windows 7 to 11 has.
function(quarnel_check_system_imports target)
    add_test(NAME ${target}.imports_system_dlls_only
             COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-imports.sh ${CMAKE_OBJDUMP} $<TARGET_FILE:${target}>)
    # Runs on Linux, not under Wine.
    set_tests_properties(${target}.imports_system_dlls_only PROPERTIES CROSSCOMPILING_EMULATOR "")
endfunction()
