# The same sources as 64-bit Windows code: it runs under wine64 without any 32-bit emulation,
# which keeps the end-to-end tests fast.
set(OVRIN_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
