# The release zip: `cmake --build --preset windows-x86 --target package` makes
# OvrinGLQuery-<version>-win32.zip with the 32-bit exe, the 64-bit exe in x64/, README.md and
# SHA256SUMS over those three.
#
# The 64-bit exe comes from a build tree of its own inside this one (x64/), configured from the
# same sources with the 64-bit toolchain and the same build type, and brought up to date on
# every build of this tree. So the zip never carries a 64-bit exe older than its 32-bit one, and
# packaging does not depend on whether, or from which sources, build/windows-x64 was built.

option(OVRIN_PACKAGE_X64 "Build the 64-bit exe alongside, for the release zip" ON)
if(NOT OVRIN_PACKAGE_X64)
  return()
endif()

include(ExternalProject)
set(x64_binary_dir ${PROJECT_BINARY_DIR}/x64)
set(x64_exe ${x64_binary_dir}/app/OvrinGLQuery.exe)
ExternalProject_Add(ovrin_x64
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${x64_binary_dir}
  PREFIX ${x64_binary_dir}/ep
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_CACHE_ARGS -DCMAKE_MAKE_PROGRAM:FILEPATH=${CMAKE_MAKE_PROGRAM}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake
             -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DBUILD_TESTING=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target OvrinGLQuery
  BUILD_BYPRODUCTS ${x64_exe}
  INSTALL_COMMAND ""
  # Its own build system knows what is out of date; asking it each time costs a no-op build.
  BUILD_ALWAYS ON)
set(OVRIN_X64_EXE ${x64_exe} CACHE INTERNAL "The 64-bit exe that goes into the release zip")

install(PROGRAMS $<TARGET_FILE:OvrinGLQuery> DESTINATION .)
install(PROGRAMS ${x64_exe} DESTINATION x64)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
# Last, once the files it covers are in place.
install(CODE "set(OVRIN_SUMMED_FILES OvrinGLQuery.exe x64/OvrinGLQuery.exe README.md)")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME OvrinGLQuery)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_VENDOR "OVRIN OpenGL Query Project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OVRIN OpenGL driver check")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
