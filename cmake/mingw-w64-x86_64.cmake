# Cross-building for 64-bit Windows on Debian with MinGW-w64 (packages
# g++-mingw-w64-x86-64-posix and mingw-w64-tools): the POSIX thread model,
# for std::thread and std::mutex. Programs are linked statically (libgcc,
# libstdc++, winpthread), so that they need no DLL but the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LANCHAT_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LANCHAT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LANCHAT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LANCHAT_MINGW_PREFIX}-windres)
set(CMAKE_AR ${LANCHAT_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${LANCHAT_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${LANCHAT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 10's API (SetThreadDescription is looked up at run time all the
# same), Unicode entry points.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# A release program carries no symbols: a third of its size.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
