# Settings for the targets whose code is ours (the program, its tests and their helpers), applied
# target by target so that third-party code built beside them (GoogleTest) keeps its own.

# Warnings are errors for our code, with every compiler we build with: native g++ and clang, and
# both mingw-w64 compilers. -Wdate-time: a build that stamps its own date can never be rebuilt
# byte for byte. The program allocates nothing and throws nothing; -fno-exceptions and -fno-rtti
# keep the runtime out that would support it. Nothing reads errno: -fno-math-errno lets a square
# root be the processor's own instruction (x87 FSQRT, SSE2 SQRTSD) with no library call behind
# it; the 32-bit runtime's sqrt is built for a newer processor than the program runs on.
function(ovrin_own_target target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Wdate-time -Werror
    -fno-math-errno
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
endfunction()

# A test that cannot run in this build says so in ctest's summary as skipped, with the reason,
# instead of silently not existing.
function(ovrin_skipped_test name reason)
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED: ${reason}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED: " ${ARGN})
endfunction()
