# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64),
# the "posix" threading variant that Qt 6 needs. The preset "windows" uses it
# with the Qt in ../shared/qt6-mingw; the port layer and lptport alone build
# without Qt, and with -static carry the GCC runtime so that they run with
# nothing beside them:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DLPTPANEL_GUI=OFF -DLPTPANEL_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-static
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Headers, libraries and CMake packages come from the MinGW sysroot and from
# the prefixes named in CMAKE_PREFIX_PATH (the Qt for Windows), never from the
# Linux host; programs (moc, rcc: the host Qt's) from the host.
# A root is matched as written, so each prefix is added both without its ".."
# and with its links resolved.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
  get_filename_component(plain "${prefix}" ABSOLUTE)
  file(REAL_PATH "${prefix}" real)
  list(APPEND CMAKE_FIND_ROOT_PATH "${plain}" "${real}")
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
