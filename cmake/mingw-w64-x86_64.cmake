# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads, so that
# std::thread and std::mutex work). Everything is linked statically: the program is one
# .exe with no DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KC_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KC_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# GCC 12 reports a false -Wrestrict inside its own string code for this target.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
# Wide-character Win32 calls throughout; no min/max macros. Not for the third-party
# libraries (tools/windows_deps.sh): libmosquitto passes byte strings to the generic
# names, InetPton among them, which UNICODE turns into the wide ones.
if(NOT KC_THIRD_PARTY)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()
