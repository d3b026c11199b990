# The Windows build's zip: made by CPack from the build, its listing checked
# against the expected files (nothing missing, nothing more), then unpacked
# for the tests that run the C program from it; its svcproc.dll must carry
# the version stamp.
#   cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DEXPECTED=<list file>
#         -DOUTPUT_DIR=<dir> -DSTAMP_VERSION=<2.1.000>
#         [-DSTAMP_TIME=<HH:MM:SS> -DSTAMP_DATE=<Mmm dd yyyy>] -P WindowsZip.cmake
# Prints the listing. The unpacked tree is OUTPUT_DIR/unpacked/<zip's top
# folder>.
include(${CMAKE_CURRENT_LIST_DIR}/../../support/CommandLines.cmake)
foreach(variable CPACK BUILD_DIR EXPECTED OUTPUT_DIR STAMP_VERSION)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "WindowsZip.cmake: ${variable} not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -G ZIP -B ${OUTPUT_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack -G ZIP failed:\n${output}")
endif()
file(GLOB zips ${OUTPUT_DIR}/*.zip)
list(LENGTH zips count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} zips: ${zips}")
endif()
get_filename_component(zip_name ${zips} NAME)
string(REGEX REPLACE "\\.zip$" "" top ${zip_name})

svcp_command_lines(entries ${CMAKE_COMMAND} -E tar tf ${zips})
set(files "")
set(outside "")
foreach(entry IN LISTS entries)
  if(entry STREQUAL "" OR entry MATCHES "/$")
    continue()
  endif()
  if(entry MATCHES "^${top}/(.+)$")
    list(APPEND files ${CMAKE_MATCH_1})
  else()
    list(APPEND outside ${entry})
  endif()
endforeach()
list(SORT files)
list(JOIN files "\n  " shown)
message("${zip_name}, in ${top}/:\n  ${shown}")

file(STRINGS ${EXPECTED} expected)
set(missing ${expected})
list(REMOVE_ITEM missing ${files})
set(extra ${files})
list(REMOVE_ITEM extra ${expected})
if(missing OR extra OR outside)
  message(FATAL_ERROR "${zip_name} differs from the expected list:\n"
    "  missing: ${missing}\n  not expected: ${extra}\n  outside ${top}/: ${outside}")
endif()

file(MAKE_DIRECTORY ${OUTPUT_DIR}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zips}
  WORKING_DIRECTORY ${OUTPUT_DIR}/unpacked RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0 OR NOT EXISTS ${OUTPUT_DIR}/unpacked/${top}/bin/svcproc.dll)
  message(FATAL_ERROR "cannot unpack ${zips}: ${error}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DFILE=${OUTPUT_DIR}/unpacked/${top}/bin/svcproc.dll
                        -DVERSION=${STAMP_VERSION} "-DTIME=${STAMP_TIME}" "-DDATE=${STAMP_DATE}"
                        -P ${CMAKE_CURRENT_LIST_DIR}/../version/CheckVersionStamp.cmake
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${zip_name}: no proper version stamp in bin/svcproc.dll")
endif()
