# How the Windows exes are compiled and linked: small enough for the 32 KiB budget, and the same
# bytes from every clean build of the same sources, wherever the tree and the build dir are.

# Reproducible: paths of the source and build trees never reach the objects (__FILE__, debug
# info), and the linker writes no time stamp into the PE header.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
add_link_options(-Wl,--no-insert-timestamp)

# Small: one section per function lets the linker drop what nothing calls, and with it the
# compiler's identification strings of every object. Not -fdata-sections: on this target it
# moves zero-initialised buffers (ReportBuffer) out of .bss into .data, into the file.
add_compile_options(-ffunction-sections)
add_link_options(-Wl,--gc-sections)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Nothing throws, and 32-bit Windows unwinds through the stack's own frame chain, not through
  # tables: the DWARF unwind tables would only take room. The 64-bit build keeps its tables,
  # which Windows itself reads to unwind there.
  add_compile_options(-fno-asynchronous-unwind-tables)
endif()
