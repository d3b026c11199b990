# Warning set shared by every target of the project.
add_library(svcp_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(svcp_warnings INTERFACE -Wall -Wextra -Wpedantic)
  if(SVCP_WARNINGS_AS_ERRORS)
    target_compile_options(svcp_warnings INTERFACE -Werror)
  endif()
endif()
