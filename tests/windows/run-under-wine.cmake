# Runs one cross-built test under Wine and prints its log. A program without a
# console (as under Wine) gets QtTest's log through the debugger channel, not
# standard output, so the log goes to a file first.
#   cmake -DEMULATOR=wine64 -DTEST=x.exe -DLOG=x.log -P run-under-wine.cmake
file(REMOVE "${LOG}")
execute_process(COMMAND "${EMULATOR}" "${TEST}" -o "${LOG},txt" RESULT_VARIABLE rc)
if(EXISTS "${LOG}")
    file(READ "${LOG}" text)
    message("${text}")
endif()
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TEST} ended with ${rc}")
endif()
