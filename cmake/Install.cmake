# What `cmake --install` puts where, the CMake package and pkg-config file
# applications build against, and the packages CPack makes of it:
#
#   bin/                 the tools; on Windows the DLLs too
#   lib/                 the shared libraries (on Windows their import
#                        libraries and svcproc.def), cmake/svcproc/,
#                        pkgconfig/svcproc.pc
#   include/svcproc/api/ the public headers with the generated export header
#   include/svcproc/log/ the logging library's control header
#   share/doc/svcproc/   the README and docs/
#
# Installed programs find the libraries relative to themselves (RUNPATH
# $ORIGIN/../lib), the libraries each other beside themselves ($ORIGIN), so a
# prefix can be moved or unpacked anywhere. Build-tree binaries keep their
# build-tree paths.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SVCP_LIBRARY_TARGETS svcproc log svcp_platform)
set_target_properties(svcp_platform PROPERTIES EXPORT_NAME platform)
if(NOT WIN32)
  file(RELATIVE_PATH svcp_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(SVCP_TOOL_RPATH "$ORIGIN/${svcp_bin_to_lib}")
  set_target_properties(svcproc log svcp_platform PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} INSTALL_RPATH "$ORIGIN")
endif()

install(TARGETS ${SVCP_LIBRARY_TARGETS} EXPORT svcprocTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Windows: the import libraries above are mingw-w64's (.dll.a); svcproc.def
# lists the DLL's exports, from which Microsoft's tools make their own
# (`lib /def:svcproc.def /machine:x86 /out:svcproc.lib`).
if(WIN32)
  set(SVCP_DEF_FILE ${CMAKE_BINARY_DIR}/lib/svcproc.def)
  target_link_options(svcproc PRIVATE "LINKER:--output-def,${SVCP_DEF_FILE}")
  install(FILES ${SVCP_DEF_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

# Public headers: what ServiceApi.h and svcproc_c.h include, nothing internal.
install(FILES
  ${CMAKE_SOURCE_DIR}/svcproc/api/HandleKindName.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/ISensorStateListener.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/SensorHandle.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/SensorRecords.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/ServiceApi.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/ServiceCode.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/ServiceCodeText.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/ServiceProcessorStatus.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/svcproc_c.h
  ${CMAKE_BINARY_DIR}/include/svcproc/api/svcproc_export.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svcproc/api)
install(FILES ${CMAKE_SOURCE_DIR}/svcproc/api/machine/MachineInfo.h
  ${CMAKE_SOURCE_DIR}/svcproc/api/machine/svcproc_machine_c.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svcproc/api/machine)
install(FILES ${CMAKE_SOURCE_DIR}/log/include/LogControl.h ${CMAKE_BINARY_DIR}/include/log_export.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/svcproc/log)

# The tools built for this platform.
foreach(tool svcproc-monitor svcproc-sim svcproc-example svcproc-version)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(NOT WIN32)
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH "${SVCP_TOOL_RPATH}")
    endif()
  endif()
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
  FILES_MATCHING PATTERN "*.md")
include(ThirdPartyNotices)

# The exporter's systemd unit, where the tree has one.
foreach(unit packaging/systemd/svcproc-exporter.service tools/monitor/svcproc-exporter.service)
  if(NOT WIN32 AND EXISTS ${CMAKE_SOURCE_DIR}/${unit})
    install(FILES ${CMAKE_SOURCE_DIR}/${unit} DESTINATION ${CMAKE_INSTALL_LIBDIR}/systemd/system)
    break()
  endif()
endforeach()

# The CMake package: find_package(svcproc) gives svcproc::svcproc.
set(SVCP_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/svcproc)
install(EXPORT svcprocTargets NAMESPACE svcproc:: DESTINATION ${SVCP_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/svcprocConfig.cmake.in
  ${CMAKE_BINARY_DIR}/svcprocConfig.cmake INSTALL_DESTINATION ${SVCP_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/svcprocConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/svcprocConfig.cmake ${CMAKE_BINARY_DIR}/svcprocConfigVersion.cmake
  DESTINATION ${SVCP_CMAKE_DIR})

# pkg-config, relocatable: paths relative to the file's own directory.
file(RELATIVE_PATH SVCP_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" SVCP_PC_TO_PREFIX "${SVCP_PC_TO_PREFIX}")
if(WIN32)
  set(SVCP_PC_PRIVATE_LIBS "-llog")
else()
  set(SVCP_PC_PRIVATE_LIBS "-lsvcproc-log -lsvcproc-platform")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/svcproc.pc.in ${CMAKE_BINARY_DIR}/svcproc.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/svcproc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Packages: `cpack -G DEB` on Linux; a .zip per Windows build.
set(CPACK_PACKAGE_NAME svcproc)
set(CPACK_PACKAGE_VENDOR "svcproc")
set(CPACK_PACKAGE_CONTACT "svcproc developers <svcproc@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Hardware health from a point-of-sale machine's service processor")
set(CPACK_PACKAGE_DESCRIPTION
  "A library that reads the machine's sensors (voltages, fans, temperatures), LEDs and alerts through its service processor, with C++ and C interfaces, headers, CMake and pkg-config files, the monitor and the simulator.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
# Packaged binaries without their debug information (a fifth of the size);
# the build tree keeps it.
set(CPACK_STRIP_FILES ON)
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(SVCP_PACKAGE_SYSTEM win32)
  else()
    set(SVCP_PACKAGE_SYSTEM win64)
  endif()
  set(CPACK_GENERATOR ZIP)
  # Also the zip's top folder. (CPack leaves CPACK_PACKAGE_FILE_NAME set to
  # the source package's name.)
  set(SVCP_ZIP_NAME svcproc-${PROJECT_VERSION}-${SVCP_PACKAGE_SYSTEM})
  set(CPACK_PACKAGE_FILE_NAME ${SVCP_ZIP_NAME})
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The package's own libraries: dpkg-shlibdeps finds them beside the tools.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
endif()
include(CPack)
