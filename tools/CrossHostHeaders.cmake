# The header-only libraries of the tools in a cross build for Windows. The
# toolchain confines every search to the target's root, and the host's
# /usr/include must not join the include path (its C library headers are
# glibc's), so the packages' own directories are reached through links in
# the build tree:
#   <build>/host-headers/nlohmann -> /usr/include/nlohmann  (nlohmann-json3-dev)
#   <build>/host-headers/CLI      -> /usr/include/CLI       (libcli11-dev)
#   <build>/host-headers/boost    -> /usr/include/boost     (libboost-dev)
# and give the targets the Linux build finds by find_package.
set(SVCP_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${SVCP_HOST_HEADERS})

function(svcp_host_header_target target directory marker)
  if(NOT EXISTS /usr/include/${directory}/${marker})
    message(FATAL_ERROR "/usr/include/${directory}/${marker} is missing: install its Debian package")
  endif()
  file(CREATE_LINK /usr/include/${directory} ${SVCP_HOST_HEADERS}/${directory} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${SVCP_HOST_HEADERS}
    INTERFACE_INCLUDE_DIRECTORIES ${SVCP_HOST_HEADERS})
endfunction()

svcp_host_header_target(nlohmann_json::nlohmann_json nlohmann json.hpp)
if(EXISTS /usr/include/CLI/CLI.hpp)
  svcp_host_header_target(CLI11::CLI11 CLI CLI.hpp)
endif()
# The exporter's HTTP server (Beast and Asio are header only).
svcp_host_header_target(Boost::headers boost asio.hpp)
