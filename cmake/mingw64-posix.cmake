# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers in the posix thread model
# (std::thread and std::jthread need it). Chain-loaded by the Qt toolchain file of the unpacked
# Windows toolchain, which adds Qt itself to the search paths:
#   cmake -DCMAKE_TOOLCHAIN_FILE=TOOLCHAIN/qt6/lib/cmake/Qt6/qt.toolchain.cmake
#         -DQT_CHAINLOAD_TOOLCHAIN_FILE=<repo>/cmake/mingw64-posix.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
