# Cross-building for 64-bit Windows with Debian's MinGW-w64 (GCC, POSIX
# threads, so that std::thread and std::mutex are there); programs run under
# Wine. Libraries built for Windows are found under CMAKE_PREFIX_PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELBAS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELBAS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELBAS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELBAS_MINGW_TRIPLE}-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${ZELBAS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run under Wine: headless, quiet, in a prefix of
# the build's own, and without offering to install what console programs
# never need.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(ZELBAS_WINE NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(ZELBAS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEPREFIX=${CMAKE_BINARY_DIR}/wine WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY= ${ZELBAS_WINE})
  endif()
endif()
