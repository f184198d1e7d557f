# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads, for std::thread).
#   cmake -S src/win -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PLEXOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PLEXOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PLEXOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PLEXOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PLEXOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything the programs need is linked in: a user unpacks the zip and runs them, with no
# MinGW runtime DLLs to find.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
