# The release zip: `cmake --build --preset windows-x86 --target package` makes
# OvrinGLQuery-<version>-win32.zip with the 32-bit exe, the 64-bit exe in x64/, readme.txt,
# changes.txt, license.txt and SHA256SUMS over the other five.
#
# The 64-bit exe comes from a build tree of its own inside this one (x64/), configured from the
# same sources with the 64-bit toolchain and the same build type, and brought up to date when the
# zip is made. So the zip never carries a 64-bit exe older than its 32-bit one, packaging does
# not depend on whether, or from which sources, build/windows-x64 was built, and a build of the
# shipped exe alone does not pay for the 64-bit one.
set(x64_binary_dir ${PROJECT_BINARY_DIR}/x64)
set(OVRIN_X64_EXE ${x64_binary_dir}/app/OvrinGLQuery.exe)

install(CODE "
  execute_process(
    COMMAND \"${CMAKE_COMMAND}\" -S \"${PROJECT_SOURCE_DIR}\" -B \"${x64_binary_dir}\"
            -G \"${CMAKE_GENERATOR}\" \"-DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM}\"
            \"-DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake\"
            -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF
    COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${x64_binary_dir}\" --target OvrinGLQuery
                  COMMAND_ERROR_IS_FATAL ANY)
")
install(PROGRAMS $<TARGET_FILE:OvrinGLQuery> DESTINATION .)
install(PROGRAMS ${OVRIN_X64_EXE} DESTINATION x64)

# The texts for the user, made with CRLF line ends: Notepad before Windows 10 shows a file of
# LF-only lines as one line. The readme takes the version from project(); the release notes are
# CHANGELOG.md and the licence is LICENSE, each as it is but for the line ends.
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md newest_release REGEX "^## " LIMIT_COUNT 1)
if(NOT newest_release STREQUAL "## ${PROJECT_VERSION}")
  message(FATAL_ERROR "CHANGELOG.md: the newest release is '${newest_release}', expected "
    "'## ${PROJECT_VERSION}': write the notes of the version project() gives")
endif()
set(release_texts ${PROJECT_SOURCE_DIR}/release/readme.txt.in readme.txt
                  ${PROJECT_SOURCE_DIR}/CHANGELOG.md changes.txt
                  ${PROJECT_SOURCE_DIR}/LICENSE license.txt)
set(release_text_names "")
while(release_texts)
  list(POP_FRONT release_texts source name)
  configure_file(${source} ${PROJECT_BINARY_DIR}/release/${name} @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/release/${name} DESTINATION .)
  list(APPEND release_text_names ${name})
endwhile()
# Last, once the files it covers are in place.
install(CODE "set(OVRIN_SUMMED_FILES OvrinGLQuery.exe x64/OvrinGLQuery.exe ${release_text_names})")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME OvrinGLQuery)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_VENDOR ${OVRIN_VENDOR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
