# The version stamp's text as cmake/Version.cmake makes it: the version with
# the patch in three digits, and the build time and date from
# SOURCE_DATE_EPOCH in __TIME__ and __DATE__ form, checked against date(1);
# values that are not a time refused; and the stamp compiled from the
# generated header, found in the object file.
#   cmake -DSOURCE_DIR=<source> -DCXX=<compiler> -DWORK_DIR=<scratch>
#         [-DTOOL=<svcproc-version>] -P StampFromEpoch.cmake
# (-DMODE=refuse -DCALL=<version|time> -DARG=<value> runs one call that must fail.)
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/Version.cmake)

if(MODE STREQUAL "refuse")
  if(CALL STREQUAL "version")
    svcp_stamp_version("${ARG}" text)
  else()
    set(ENV{SOURCE_DATE_EPOCH} "${ARG}")
    svcp_stamp_build_time(text date)
  endif()
  message("accepted \"${ARG}\": \"${text}\"")
  return()
endif()

set(failures "")
macro(expect_equal what actual expected)
  if(NOT "${actual}" STREQUAL "${expected}")
    list(APPEND failures "${what}: \"${actual}\", expected \"${expected}\"")
  endif()
endmacro()

foreach(case "2.1.0=2.1.000" "10.20.7=10.20.007" "3.0.45=3.0.045" "1.2.999=1.2.999")
  string(REPLACE "=" ";" case "${case}")
  list(GET case 0 version)
  list(GET case 1 expected)
  svcp_stamp_version(${version} text)
  expect_equal("version ${version}" "${text}" "${expected}")
endforeach()

# The times are UTC whatever the local zone (here nine hours east).
set(ENV{TZ} "XST-9")

# Without SOURCE_DATE_EPOCH (or with it empty) the compiler decides.
unset(ENV{SOURCE_DATE_EPOCH})
svcp_stamp_build_time(time date)
expect_equal("no SOURCE_DATE_EPOCH" "${time}|${date}" "|")
set(ENV{SOURCE_DATE_EPOCH} "")
svcp_stamp_build_time(time date)
expect_equal("empty SOURCE_DATE_EPOCH" "${time}|${date}" "|")

# A one-digit day is padded with a space, as __DATE__ pads it.
set(ENV{SOURCE_DATE_EPOCH} 1796821507)
svcp_stamp_build_time(time date)
expect_equal("SOURCE_DATE_EPOCH=1796821507" "${time}|${date}" "13:05:07|Dec  9 2026")

# Against date(1): the first second, a leap day, a day of two digits,
# leading zeros, the last second of 9999.
find_program(DATE date REQUIRED)
foreach(epoch 0 951825599 1797033599 1798761599 0001000 253402300799)
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  svcp_stamp_build_time(time date)
  math(EXPR seconds "${epoch}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${DATE} -u -d @${seconds}
                          "+%H:%M:%S|%b %e %Y"
                  OUTPUT_VARIABLE expected OUTPUT_STRIP_TRAILING_WHITESPACE)
  expect_equal("SOURCE_DATE_EPOCH=${epoch}" "${time}|${date}" "${expected}")
endforeach()

# Refused, with a message that names the variable or the version.
foreach(case "time=abc" "time=12a" "time=-5" "time=1e9" "time= 12" "time=253402300800"
        "time=9999999999999" "version=1.2.1000" "version=1.2" "version=2.1.0-rc1")
  string(REPLACE "=" ";" case "${case}")
  list(GET case 0 call)
  list(GET case 1 value)
  execute_process(COMMAND ${CMAKE_COMMAND} -DMODE=refuse -DCALL=${call} "-DARG=${value}"
                          -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(status EQUAL 0 OR NOT output MATCHES "SOURCE_DATE_EPOCH|Version")
    list(APPEND failures "${call} \"${value}\" not refused: ${output}")
  endif()
endforeach()

# The stamp as compiled: the generated headers and the library's source.
if(DEFINED CXX)
  file(REMOVE_RECURSE ${WORK_DIR})
  foreach(epoch 1796821507 "")
    set(dir ${WORK_DIR}/epoch${epoch})
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
    svcp_write_build_time_header(${dir})
    svcp_write_version_header(${dir} 2.1.0)
    svcp_stamp_build_time(time date)
    # The compiler honours SOURCE_DATE_EPOCH for __TIME__ itself: not here.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH
                            ${CXX} -std=c++17 -c -I${dir} ${SOURCE_DIR}/svcproc/api/VersionStamp.cpp
                            -o ${dir}/VersionStamp.o
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "cannot compile the stamp: ${output}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${dir}/VersionStamp.o -DVERSION=2.1.000
                            "-DTIME=${time}" "-DDATE=${date}" "-DTOOL=${TOOL}"
                            -P ${CMAKE_CURRENT_LIST_DIR}/CheckVersionStamp.cmake
                    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
    message("${output}")
    if(NOT status EQUAL 0)
      list(APPEND failures "stamp compiled with SOURCE_DATE_EPOCH=\"${epoch}\"")
    endif()
  endforeach()
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "The stamp's text:\n  ${text}")
endif()
