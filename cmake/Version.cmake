# The project's version, written once in project(VERSION ...), and the build
# time of the library's version stamp, generated into two headers:
#
#   svcp_version.h     SVCP_VERSION_TEXT ("2.1.0") for the tools,
#                      SVCP_STAMP_VERSION ("2.1.000": the patch in three
#                      digits) for the stamp, and SVCP_REVISION (the git
#                      commit checked out at configure time, or "unknown")
#                      and SVCP_COMPILER ("GNU 12.2.0") for the tools' build
#                      labels
#   svcp_build_time.h  SVCP_BUILD_TIME ("HH:MM:SS") and SVCP_BUILD_DATE
#                      ("Mmm dd yyyy", the day padded with a space), the
#                      formats of __TIME__ and __DATE__
#
# With SOURCE_DATE_EPOCH set at configure time the build time is that second,
# in UTC, so that a packaged build is reproducible; without it the compiler's
# __TIME__ and __DATE__ give the compile time. Every configure reads it
# anew, so it must stay set for a build that reconfigures itself. The build
# time has a header of its own: only the stamp's source includes it.
#
# Also usable in script mode (cmake -P), which the tests do.

# The stamp's version text: major.minor.patch, the patch in three digits.
function(svcp_stamp_version version out_var)
  if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "Version \"${version}\" is not major.minor.patch")
  endif()
  set(patch ${CMAKE_MATCH_3})
  math(EXPR patch "${patch}")
  if(patch GREATER 999)
    message(FATAL_ERROR "Version \"${version}\": the stamp holds a patch of at most 999")
  endif()
  string(LENGTH "${patch}" length)
  if(length EQUAL 1)
    set(patch "00${patch}")
  elseif(length EQUAL 2)
    set(patch "0${patch}")
  endif()
  set(${out_var} "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${patch}" PARENT_SCOPE)
endfunction()

# The stamp's time and date from SOURCE_DATE_EPOCH, in UTC: "HH:MM:SS" and
# "Mmm dd yyyy" (the day padded with a space), as __TIME__ and __DATE__ write
# them; both empty when it is not set. A value that is not a whole number of
# seconds up to the end of the year 9999 is refused.
function(svcp_stamp_build_time time_var date_var)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(${time_var} "" PARENT_SCOPE)
  set(${date_var} "" PARENT_SCOPE)
  if(epoch STREQUAL "")
    return()
  endif()
  string(LENGTH "${epoch}" length)
  if(NOT epoch MATCHES "^[0-9]+$" OR length GREATER 12)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH=\"${epoch}\" is not a number of seconds since 1970")
  endif()
  math(EXPR epoch "${epoch}")
  if(epoch GREATER 253402300799)
    message(FATAL_ERROR "SOURCE_DATE_EPOCH=${epoch} is after the year 9999")
  endif()
  # string(TIMESTAMP) takes its time from SOURCE_DATE_EPOCH.
  string(TIMESTAMP time "%H:%M:%S" UTC)
  string(TIMESTAMP month "%m" UTC)
  string(TIMESTAMP day "%d" UTC)
  string(TIMESTAMP year "%Y" UTC)
  set(names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  math(EXPR index "${month} - 1")
  list(GET names ${index} name)
  string(REGEX REPLACE "^0" " " day "${day}")
  set(${time_var} "${time}" PARENT_SCOPE)
  set(${date_var} "${name} ${day} ${year}" PARENT_SCOPE)
endfunction()

# Writes svcp_build_time.h into dir (rewritten only when its text changes).
function(svcp_write_build_time_header dir)
  svcp_stamp_build_time(time date)
  if(time STREQUAL "")
    set(time "__TIME__")
    set(date "__DATE__")
  else()
    set(time "\"${time}\"")
    set(date "\"${date}\"")
  endif()
  file(CONFIGURE OUTPUT ${dir}/svcp_build_time.h CONTENT
"// Generated from SOURCE_DATE_EPOCH by cmake/Version.cmake: do not edit.
#pragma once
#define SVCP_BUILD_TIME ${time}
#define SVCP_BUILD_DATE ${date}
")
endfunction()

# The commit of the source tree, 12 hex digits, or "unknown" outside a git
# checkout or without git. A commit, not a time: the same sources give the
# same text.
function(svcp_source_revision out_var)
  set(revision unknown)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} rev-parse --short=12 HEAD
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_QUIET
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0 AND output MATCHES "^[0-9a-f]+$")
      set(revision "${output}")
    endif()
  endif()
  set(${out_var} "${revision}" PARENT_SCOPE)
endfunction()

# Writes svcp_version.h into dir; the revision and compiler default to
# "unknown" (script mode has neither).
function(svcp_write_version_header dir version)
  set(revision "${ARGV2}")
  set(compiler "${ARGV3}")
  foreach(name revision compiler)
    if("${${name}}" STREQUAL "")
      set(${name} unknown)
    endif()
    # Both end up in C string literals.
    string(REGEX REPLACE "[\"\\]" "" ${name} "${${name}}")
  endforeach()
  svcp_stamp_version(${version} stamp_version)
  file(CONFIGURE OUTPUT ${dir}/svcp_version.h CONTENT
"// Generated from project(VERSION) by cmake/Version.cmake: do not edit.
#pragma once
#define SVCP_VERSION_TEXT \"${version}\"
#define SVCP_STAMP_VERSION \"${stamp_version}\"
#define SVCP_REVISION \"${revision}\"
#define SVCP_COMPILER \"${compiler}\"
")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  return()
endif()
svcp_source_revision(SVCP_REVISION)
svcp_write_version_header(${CMAKE_BINARY_DIR}/include ${PROJECT_VERSION} "${SVCP_REVISION}"
                          "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}")
svcp_write_build_time_header(${CMAKE_BINARY_DIR}/include)
# What the tests expect of the built stamp; the time and date are empty when
# the compiler gives them.
svcp_stamp_version(${PROJECT_VERSION} SVCP_STAMP_VERSION)
svcp_stamp_build_time(SVCP_STAMP_TIME SVCP_STAMP_DATE)
if(NOT SVCP_STAMP_TIME STREQUAL "")
  message(STATUS "Version stamp built at ${SVCP_STAMP_TIME} on ${SVCP_STAMP_DATE} (SOURCE_DATE_EPOCH)")
endif()
