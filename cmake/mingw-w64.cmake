# Cross build for 64-bit Windows with the MinGW-w64 compiler of Debian
# (g++-mingw-w64-x86-64):
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# builds kotodama.exe and kotodama_tests.exe (the tests that need no terminal),
# both linked statically so that they run without the compiler's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The compiler's POSIX-threads flavour: its standard library has std::mutex,
# which GoogleTest needs (the game itself uses no threads).
set(KOTODAMA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KOTODAMA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOTODAMA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KOTODAMA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KOTODAMA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Wine runs the cross-built tests where it is installed (Debian's wine64).
if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
