# The licences of the third-party code that the installed binaries carry
# inside them: header-only libraries compiled into the tools, and on Windows
# mingw-w64's statically linked runtime (winpthreads among it). Their BSD,
# MIT and ZPL licences ask for the notice to travel with the binaries. Taken
# from the build machine's packages, installed as
# share/doc/svcproc/third-party/<name>.txt.
# A library linked as a shared one brings its own. Boost (Beast and Asio in
# the exporter) needs none: its licence asks for no notice with object code.
#
# Sets SVCP_THIRD_PARTY_NOTICES: the installed files, relative to the prefix.
set(SVCP_THIRD_PARTY_NOTICES "")

function(svcp_third_party_notice name)
  foreach(candidate IN LISTS ARGN)
    if(EXISTS "${candidate}")
      install(FILES "${candidate}" DESTINATION ${CMAKE_INSTALL_DOCDIR}/third-party
              RENAME ${name}.txt)
      set(SVCP_THIRD_PARTY_NOTICES ${SVCP_THIRD_PARTY_NOTICES}
          ${CMAKE_INSTALL_DOCDIR}/third-party/${name}.txt PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(WARNING "No licence file for ${name} (${ARGN}): the packages lack its notice")
endfunction()

if(TARGET svcproc-monitor OR TARGET svcproc-sim)
  svcp_third_party_notice(CLI11 /usr/share/doc/libcli11-dev/copyright)
  svcp_third_party_notice(nlohmann-json /usr/share/doc/nlohmann-json3-dev/copyright)
endif()
if(SVCP_YAML_LICENSE)
  # Statically linked into the Windows tools.
  svcp_third_party_notice(yaml-cpp ${SVCP_YAML_LICENSE})
endif()
if(WIN32)
  svcp_third_party_notice(mingw-w64
    /usr/share/doc/mingw-w64-common/copyright /usr/share/doc/mingw-w64-x86-64-dev/copyright
    /usr/share/doc/mingw-w64-i686-dev/copyright)
endif()
