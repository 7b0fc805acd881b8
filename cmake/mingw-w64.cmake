# What both Windows toolchain files share: cross-compiles for the target triple TOOLCHAIN_PREFIX on the MinGW-w64
# headers and libraries, with GCC (the default) or, when OCHRELIGHT_COMPILER is "clang", with Clang and LLD.
set(CMAKE_SYSTEM_NAME Windows)

set(OCHRELIGHT_COMPILER gcc CACHE STRING "Compiler for the Windows build: gcc or clang")
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

if(OCHRELIGHT_COMPILER STREQUAL "clang")
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
  set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
  set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})
  # Clang does not find Debian's "12-win32" style GCC directory by itself: name its C++ headers and runtime.
  file(GLOB MINGW_GCC_DIRS /usr/lib/gcc/${TOOLCHAIN_PREFIX}/*-win32)
  list(GET MINGW_GCC_DIRS 0 MINGW_GCC_DIR)
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
      ${MINGW_GCC_DIR}/include/c++ ${MINGW_GCC_DIR}/include/c++/${TOOLCHAIN_PREFIX})
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MINGW_GCC_DIR}")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MINGW_GCC_DIR}")
else()
  set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
  set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Where the host runs no 32-bit code, the 32-bit tests' Wine sessions run in an emulated guest, which has Wine on its
# PATH even when this host has none.
find_program(WINE_EXECUTABLE wine)
if(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_EXECUTABLE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
