# The kernel driver's toolchain: the MinGW-w64 target, libraries and DDK of
# mingw-w64.cmake, compiled by clang (Debian package clang), which compiles
# __try/__except into the image's exception tables; MinGW-w64's g++ has no
# structured exception handling. clang links with MinGW-w64's ld.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${RM7X0_TRIPLE})
# The driver links no C or C++ runtime, and clang does not find Debian's
# MinGW-w64 runtime: the compiler checks build a library, not a program.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
