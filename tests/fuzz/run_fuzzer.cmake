# Runs one fuzzer for a fixed number of inputs from seed 1 (cmake -P, from CTest).
# -DFUZZER program, -DCORPUS and -DREGRESSIONS its committed inputs (the second may be absent),
# -DWORK a scratch directory, emptied first: new inputs go there, never into the source tree, and
# an empty start keeps every run the same.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/new ${WORK}/artifacts)
set(inputs ${WORK}/new ${CORPUS})
if(IS_DIRECTORY ${REGRESSIONS})
    list(APPEND inputs ${REGRESSIONS})
endif()
execute_process(COMMAND ${FUZZER} -runs=${RUNS} -seed=1 -timeout=10 -max_total_time=100
                        -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${inputs}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FUZZER} failed (${result}); the input is in ${WORK}/artifacts/")
endif()
