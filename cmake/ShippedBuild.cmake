# How the Windows exes are compiled and linked: for the oldest Windows each is meant for, small
# enough for the 32 KiB budget, and the same bytes from every clean build of the same sources,
# wherever the tree and the build dir are.

# The subsystem version in the PE header is the oldest Windows the exe is for, as Windows refuses
# an image that asks for a newer one than itself: Windows NT 4.0 (4.0) for the 32-bit exe, and
# for the 64-bit one the first 64-bit Windows, XP and Server 2003 x64 (5.2). Today's binutils
# write these very values by default; they are given here so that no other default can change
# them. tests/pe checks them in the built exe. (The header's OS version stays the linker's 4.0 in
# both: Windows does not check it.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(OVRIN_SUBSYSTEM_VERSION 4 0)
else()
  set(OVRIN_SUBSYSTEM_VERSION 5 2)
endif()
list(GET OVRIN_SUBSYSTEM_VERSION 0 subsystem_major)
list(GET OVRIN_SUBSYSTEM_VERSION 1 subsystem_minor)
add_link_options(-Wl,--major-subsystem-version,${subsystem_major}
                 -Wl,--minor-subsystem-version,${subsystem_minor})

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
  # The 32-bit exe runs on the original Pentium and its peers (Pentium MMX, AMD K6, Cyrix 6x86):
  # the compiler's own default, the Pentium Pro, would use CMOVcc and FCOMI, which they lack.
  # Everything built here is compiled so, the unit suite that runs under Wine included; the
  # tuning stays the default one, so only the instruction set changes.
  add_compile_options(-march=i586 -mtune=generic)
endif()

# An exe that starts at a function of its own instead of the C runtime's start-up code. The
# 32-bit linker sees C names with a leading underscore.
function(ovrin_entry_point target function)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(function _${function})
  endif()
  target_link_options(${target} PRIVATE -nostartfiles -Wl,-e,${function})
endfunction()
