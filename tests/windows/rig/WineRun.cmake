# Running the Windows build's programs on this host, under Wine.
#
#   SVCP_WINE_RUN   register the test programs with CTest, to be run under
#                   Wine: the 64-bit build in a 64-bit prefix with wine64, the
#                   32-bit build in a 32-bit prefix with Wine's 32-bit loader,
#                   the system's or, run through tests/windows/rig/i386-root.sh, that of
#                   a 32-bit Debian root.
#                   A host whose kernel cannot run 32-bit programs runs the
#                   32-bit suite in a virtual machine (tests/windows/rig/wine-test.sh).
#
# The tests share one Wine session: the CTest fixture "wine" creates the
# prefix (build/<preset>/wineprefix) and starts a persistent server before
# them, and ends it after them.
option(SVCP_WINE_RUN "Run the Windows test programs under Wine" ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(SVCP_WINE_ARCH win32)
else()
  set(SVCP_WINE_ARCH win64)
endif()
set(SVCP_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

if(SVCP_WINE_RUN)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${SVCP_WINEPREFIX} SVCP_WINE_ARCH=${SVCP_WINE_ARCH}
      ${CMAKE_SOURCE_DIR}/tests/windows/rig/wine-run.sh)
endif()

# svcp_add_wine_fixture([DRIVER <target>]): the start and stop tests of the
# shared session; the start installs and starts the driver in it.
function(svcp_add_wine_fixture)
  if(NOT SVCP_WINE_RUN)
    return()
  endif()
  cmake_parse_arguments(ARG "" "DRIVER" "" ${ARGN})
  set(driver "")
  if(ARG_DRIVER)
    set(driver $<TARGET_FILE:${ARG_DRIVER}>)
  endif()
  add_test(NAME wine_session_start
           COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${SVCP_WINEPREFIX} SVCP_WINE_ARCH=${SVCP_WINE_ARCH}
                   ${CMAKE_SOURCE_DIR}/tests/windows/rig/wine-server.sh start ${driver})
  add_test(NAME wine_session_stop
           COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${SVCP_WINEPREFIX} SVCP_WINE_ARCH=${SVCP_WINE_ARCH}
                   ${CMAKE_SOURCE_DIR}/tests/windows/rig/wine-server.sh stop)
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# svcp_add_wine_test(<name> <target> [args...]): runs a program of the build
# under Wine in the shared session.
function(svcp_add_wine_test name target)
  if(NOT SVCP_WINE_RUN)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  # Generous: the 32-bit suite may run under emulation.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
endfunction()
