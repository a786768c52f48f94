# The shipped program: 32-bit Windows, built with Debian's mingw-w64 cross compiler. Its posix
# thread model variant: the program starts no thread and its exe is the same, byte for byte, as
# with the win32 variant, while GoogleTest, which the unit suite builds with the same compiler,
# needs the std::mutex that only this variant has.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(OVRIN_OBJDUMP i686-w64-mingw32-objdump)
