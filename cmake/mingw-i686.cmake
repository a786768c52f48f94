# The shipped program: 32-bit Windows, built with Debian's mingw-w64 cross compiler.
set(OVRIN_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
