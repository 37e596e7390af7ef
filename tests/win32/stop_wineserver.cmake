# Stops the tests' Wine server and its services; nothing to do if it is gone.
execute_process(COMMAND wineserver -k INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
