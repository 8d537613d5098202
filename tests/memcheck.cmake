# SPDX-License-Identifier: MIT
# Two whole runs of the program under valgrind memcheck: a first start without a label file (the
# default set is written) and a second start that reads it back. Fails on any memory error and on
# any definite leak.
# Arguments: -DVALGRIND=<valgrind> -DDRIVER=<startquit executable> -DSUPPRESSIONS=<file>
foreach(var VALGRIND DRIVER SUPPRESSIONS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

get_filename_component(dir "${DRIVER}" DIRECTORY)
set(ini "${dir}/K732-118.ini")
file(REMOVE "${ini}")

foreach(run "first start" "second start")
    execute_process(
        COMMAND "${VALGRIND}" --tool=memcheck --leak-check=full --show-leak-kinds=definite
            --errors-for-leak-kinds=definite --error-exitcode=99 --num-callers=40
            "--suppressions=${SUPPRESSIONS}"
            "${DRIVER}"
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${run}: valgrind or the program failed (exit ${result})")
    endif()
    if(NOT EXISTS "${ini}")
        message(FATAL_ERROR "${run}: ${ini} was not written, so no label set was read")
    endif()
endforeach()
message(STATUS "memcheck: both runs clean")
