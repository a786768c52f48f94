# Runs the SSE and the x87 build of the call-stream dump and fails unless they print the same.
foreach(build SSE X87)
  execute_process(COMMAND ${${build}} OUTPUT_FILE ${OUT}/stream-${build}.txt RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${${build}} failed: ${status}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/stream-SSE.txt ${OUT}/stream-X87.txt
                RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "x87 and SSE builds send different GL calls: diff ${OUT}/stream-SSE.txt ${OUT}/stream-X87.txt")
endif()
