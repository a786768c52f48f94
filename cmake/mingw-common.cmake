# What the two mingw-w64 toolchain files share; they set OVRIN_MINGW_CPU (i686 or x86_64) first.
# The posix thread model variant of the compilers: the program starts no thread and its exe is
# the same, byte for byte, as with the win32 variant, while GoogleTest, which the unit suite
# builds with the same compiler, needs the std::mutex that only this variant has.
set(OVRIN_MINGW_TRIPLET ${OVRIN_MINGW_CPU}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OVRIN_MINGW_CPU})
set(CMAKE_C_COMPILER ${OVRIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OVRIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${OVRIN_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OVRIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(OVRIN_OBJDUMP ${OVRIN_MINGW_TRIPLET}-objdump)
