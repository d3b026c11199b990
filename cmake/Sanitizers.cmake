# Sanitizer builds apply to every target, so that the shared libraries and the
# executables that load them share one runtime.
if(SVCP_SANITIZER STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(SVCP_SANITIZER STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(SVCP_SANITIZER STREQUAL "fuzz")
  # libFuzzer targets: everything instrumented for coverage, with address and
  # undefined-behaviour checks; the fuzz targets add -fsanitize=fuzzer at link.
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SVCP_SANITIZER=fuzz needs clang (the fuzz preset sets it)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(NOT SVCP_SANITIZER STREQUAL "")
  message(FATAL_ERROR "SVCP_SANITIZER must be empty, asan, tsan or fuzz, not '${SVCP_SANITIZER}'")
endif()
