# Makes the package as the svcproc-nupkg target does (PackNuget.cmake, with
# its arguments), then runs CHECK (a |-separated command) on it. Without the
# Windows DLLs PackNuget.cmake says "skipped: ..." and nothing is checked.
include(${PACKAGE_DIR}/PackNuget.cmake)
if(NOT EXISTS ${OUTPUT})
  return()
endif()
string(REPLACE "|" ";" command "${CHECK}")
execute_process(COMMAND ${command} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the package's check failed (${status})")
endif()
