# Install step of the release zip: writes SHA256SUMS beside the installed files, one
# "<hash>  <path>" line per file of OVRIN_SUMMED_FILES, so that `sha256sum -c SHA256SUMS` in the
# unpacked folder checks them all.
if(NOT OVRIN_SUMMED_FILES)
  message(FATAL_ERROR "WriteChecksums.cmake: OVRIN_SUMMED_FILES names no file")
endif()
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(sums "")
foreach(file IN LISTS OVRIN_SUMMED_FILES)
  if(NOT EXISTS "${root}/${file}")
    message(FATAL_ERROR "WriteChecksums.cmake: ${root}/${file} was not installed")
  endif()
  file(SHA256 "${root}/${file}" hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE "${root}/SHA256SUMS" "${sums}")
message(STATUS "Checksums: ${root}/SHA256SUMS")
