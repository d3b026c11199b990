# The YAML parser of the tools' configuration files: yaml-cpp, target
# svcp_yaml. On Linux Debian's libyaml-cpp-dev; in a cross build for Windows
# the same version cross-built from Debian's source package by
# scripts/build-yaml-cpp.sh (static, cached once per machine), whose licence
# then travels with the binaries.
if(TARGET svcp_yaml)
  return()
endif()

if(WIN32 AND CMAKE_CROSSCOMPILING)
  execute_process(
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/build-yaml-cpp.sh ${SVCP_MINGW_TRIPLE}
    OUTPUT_VARIABLE SVCP_YAML_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE svcp_yaml_status)
  if(NOT svcp_yaml_status EQUAL 0 OR NOT EXISTS "${SVCP_YAML_PREFIX}/lib/libyaml-cpp.a")
    message(FATAL_ERROR "yaml-cpp for ${SVCP_MINGW_TRIPLE} could not be built "
                        "(scripts/build-yaml-cpp.sh ${SVCP_MINGW_TRIPLE})")
  endif()
  add_library(svcp_yaml INTERFACE IMPORTED GLOBAL)
  set_target_properties(svcp_yaml PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${SVCP_YAML_PREFIX}/include
    INTERFACE_INCLUDE_DIRECTORIES ${SVCP_YAML_PREFIX}/include
    INTERFACE_LINK_LIBRARIES ${SVCP_YAML_PREFIX}/lib/libyaml-cpp.a)
  set(SVCP_YAML_LICENSE ${SVCP_YAML_PREFIX}/LICENSE CACHE INTERNAL "yaml-cpp's licence, linked in")
else()
  find_package(yaml-cpp 0.7 REQUIRED CONFIG)
  add_library(svcp_yaml INTERFACE IMPORTED GLOBAL)
  set_target_properties(svcp_yaml PROPERTIES INTERFACE_LINK_LIBRARIES yaml-cpp)
endif()
