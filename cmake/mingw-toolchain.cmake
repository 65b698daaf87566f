# Cross-compiling for Windows with MinGW-w64 (posix thread model), for the processor that the
# including toolchain file sets in CMAKE_SYSTEM_PROCESSOR (i686 or x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(quarnel_mingw_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

set(CMAKE_C_COMPILER ${quarnel_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${quarnel_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${quarnel_mingw_triple}-windres)
set(CMAKE_AR ${quarnel_mingw_triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${quarnel_mingw_triple}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${quarnel_mingw_triple}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${quarnel_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
