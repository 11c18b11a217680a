# Cross-builds the Windows program (x86-64) with Debian's MinGW-w64 compilers.
# The posix thread model: GCC 12's win32 one has no std::thread or std::mutex. Everything is
# linked statically, so no MinGW runtime DLL has to travel with the program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(DESK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${DESK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DESK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DESK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${DESK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
