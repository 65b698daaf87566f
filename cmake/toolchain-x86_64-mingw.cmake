# Cross-compiling for 64-bit Windows with MinGW-w64 (posix thread model). Not shipped: the Windows
# tests run against this build under wine64 on a machine that cannot run 32-bit code
# (scripts/windows-target.sh).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
