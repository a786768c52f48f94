# Runs the fuzzer once from the seeds in SEEDS, into a fresh corpus in WORK, so that every run
# starts from the committed seeds alone; the seed folder itself is only read. A crashing input
# is left in WORK as crash-<hash>, to run again with `report_fuzz WORK/crash-<hash>`.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -max_total_time=${SECONDS} -max_len=8192 -dict=${DICT}
          -print_final_stats=1 -artifact_prefix=${WORK}/ ${WORK}/corpus ${SEEDS}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "report_fuzz failed (${status}); the input that did it is in ${WORK}")
endif()
