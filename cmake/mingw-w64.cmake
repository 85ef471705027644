# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles the Windows build with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix) and runs
# its programs under Wine. The project links its programs statically, except those on Qt's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Libraries built for Windows beside Debian's (scripts/build-sndfile-windows prints its install
# folder): found like MinGW's own, by find_package and by pkg-config.
set(RAVIK_MINGW_PREFIX "" CACHE PATH "Install folders of libraries built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RAVIK_MINGW_PREFIX)
if(RAVIK_MINGW_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH ${RAVIK_MINGW_PREFIX})
    list(TRANSFORM RAVIK_MINGW_PREFIX APPEND /lib/pkgconfig OUTPUT_VARIABLE ravik_pkgconfig)
    list(JOIN ravik_pkgconfig : ravik_pkgconfig)
    set(ENV{PKG_CONFIG_LIBDIR} ${ravik_pkgconfig})
    set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
