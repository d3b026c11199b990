# svcp_command_lines(<out> <command> [args...]): runs a command in a check
# script and gives its standard output as a list of lines; a command that
# fails ends the script, naming it and what it wrote to standard error.
function(svcp_command_lines out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE error
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "${command} failed (${status}):\n${error}")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()
