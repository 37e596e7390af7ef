# Replaces PREFIX with a newly initialised Wine prefix and leaves its server
# and system services running for the tests (WINEPREFIX and the other Wine
# variables come from the test's environment).
#
# Wine's services inherit the output of the process that starts them. Started
# here with their output in LOG, they are already up when a test runs, so no
# test's output pipe is held open after the test ends. The server lingers
# PERSIST seconds after the last test, then stops with its services; the
# cleanup test stops it at once.
foreach(var PREFIX LOG PERSIST)
  if(NOT ${var})
    message(FATAL_ERROR "${var} not set")
  endif()
endforeach()
execute_process(COMMAND wineserver -k INPUT_FILE /dev/null OUTPUT_FILE ${LOG} ERROR_FILE ${LOG})
file(REMOVE_RECURSE "${PREFIX}")
file(MAKE_DIRECTORY "${PREFIX}")
execute_process(COMMAND wineserver -p${PERSIST} INPUT_FILE /dev/null OUTPUT_FILE ${LOG} ERROR_FILE ${LOG}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "wineserver -p failed: ${result}")
endif()
execute_process(COMMAND wineboot -i INPUT_FILE /dev/null OUTPUT_FILE ${LOG} ERROR_FILE ${LOG}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(READ ${LOG} log)
  message(FATAL_ERROR "wineboot -i failed: ${result}\n${log}")
endif()
