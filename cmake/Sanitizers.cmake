# Sanitizer builds apply to every target, so that the shared libraries and the
# executables that load them share one runtime.
if(SVCP_SANITIZER STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(SVCP_SANITIZER STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT SVCP_SANITIZER STREQUAL "")
  message(FATAL_ERROR "SVCP_SANITIZER must be empty, asan or tsan, not '${SVCP_SANITIZER}'")
endif()
