# Finds the version stamp in a built or packaged library file (or an object
# file), the way `strings -a` does, and checks its exact form: once, with
# this version, and with a build time and date written as __TIME__ and
# __DATE__ write them, or the given ones. With TOOL, svcproc-version must
# print the same stamp.
#   cmake -DFILE=<file> -DVERSION=<2.1.000> [-DTIME=<HH:MM:SS> -DDATE=<Mmm dd yyyy>]
#         [-DTOOL=<svcproc-version>] -P CheckVersionStamp.cmake
foreach(variable FILE VERSION)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "CheckVersionStamp.cmake: ${variable} not set")
  endif()
endforeach()
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "No such file: ${FILE}")
endif()

string(REPLACE "." "\\." version_pattern "${VERSION}")
set(months "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)")
set(pattern "~~~Quillon SP Version ${version_pattern} / Built at "
            "([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9] on ${months} ( [1-9]|[12][0-9]|3[01]) "
            "[0-9][0-9][0-9][0-9]~~~")
string(CONCAT pattern ${pattern})

# Any run of printable characters holding the marker: a wrong version or
# form is reported as found but malformed rather than as missing.
file(STRINGS "${FILE}" candidates REGEX "~~~Quillon SP Version ")
set(stamps "")
foreach(candidate IN LISTS candidates)
  string(REGEX MATCH "${pattern}" stamp "${candidate}")
  if(stamp STREQUAL "")
    message(FATAL_ERROR "${FILE}: a malformed version stamp: \"${candidate}\"")
  endif()
  list(APPEND stamps "${stamp}")
endforeach()
list(LENGTH stamps count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "${FILE}: ${count} version stamps, one expected: ${stamps}")
endif()

if(DEFINED TIME AND NOT TIME STREQUAL "")
  set(expected "~~~Quillon SP Version ${VERSION} / Built at ${TIME} on ${DATE}~~~")
  if(NOT stamps STREQUAL expected)
    message(FATAL_ERROR "${FILE}: the stamp is\n  ${stamps}\nnot\n  ${expected}")
  endif()
endif()

if(DEFINED TOOL AND NOT TOOL STREQUAL "")
  execute_process(COMMAND ${TOOL} ${FILE} RESULT_VARIABLE status OUTPUT_VARIABLE printed
                  ERROR_VARIABLE error)
  string(REGEX REPLACE "^~~~(.*)~~~$" "\\1" text "${stamps}")
  if(NOT status EQUAL 0 OR NOT printed STREQUAL "${FILE}: ${text}\n")
    message(FATAL_ERROR "${TOOL} printed \"${printed}\" (${status}: ${error}), not \"${FILE}: ${text}\"")
  endif()
endif()
message(STATUS "${FILE}: ${stamps}")
