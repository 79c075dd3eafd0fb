# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (packages
# g++-mingw-w64-x86-64 and mingw-w64-x86-64-dev). The win32 thread model keeps
# the binaries free of the POSIX-threads DLL; nothing here needs std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RM7X0_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RM7X0_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${RM7X0_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${RM7X0_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${RM7X0_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
