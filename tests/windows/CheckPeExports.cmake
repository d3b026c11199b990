# Checks the export and import tables of svcproc.dll: every exported name
# belongs to the API, the records' members are there, and the DLL needs
# nothing at run time beyond Windows' own DLLs and log.dll (the compiler's
# runtime is linked in).
#   cmake -DLIBRARY=<svcproc.dll> -DOBJDUMP=<objdump> -DCXXFILT=<c++filt>
#         -P CheckPeExports.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ApiSymbols.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../support/CommandLines.cmake)

# Exports: "\t[   3] _ZN15CLedInformationC2Ev" after the name pointer table
# heading, until the first empty line. Imports: "\tDLL Name: KERNEL32.dll".
svcp_command_lines(lines ${OBJDUMP} -p ${LIBRARY})
set(mangled "")
set(imports "")
set(inExports FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(inExports TRUE)
  elseif(inExports AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
    list(APPEND mangled "${CMAKE_MATCH_1}")
  elseif(inExports AND line STREQUAL "")
    set(inExports FALSE)
  elseif(line MATCHES "^[ \t]*DLL Name: (.+)$")
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND imports "${dll}")
  endif()
endforeach()
if(NOT mangled)
  message(FATAL_ERROR "${LIBRARY} exports nothing")
endif()

# Demangle all names in one run of c++filt, one per line.
list(JOIN mangled "\n" mangledText)
get_filename_component(dir ${LIBRARY} DIRECTORY)
set(namesFile ${dir}/svcproc-exports.txt)
file(WRITE ${namesFile} "${mangledText}\n")
execute_process(COMMAND ${CXXFILT} INPUT_FILE ${namesFile}
                OUTPUT_VARIABLE demangled RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${CXXFILT} failed")
endif()
string(STRIP "${demangled}" demangled)
string(REPLACE "\n" ";" symbols "${demangled}")
list(FILTER symbols INCLUDE REGEX ".")

set(extraAllowed
  # The out-of-line members of the list instantiation the handle lists derive
  # from (the inline ones are compiled into each caller).
  "^std::__cxx11::list<unsigned long, std::allocator<unsigned long> >::"
  # The 32-bit mingw-w64 runtime, linked statically, exports the type
  # information of the exceptions the exported functions catch.
  "^typeinfo for std::(bad_alloc|exception)$")
svcp_check_api_symbols("${symbols}" "${extraAllowed}" "" unexpected missing)

# Windows' DLLs, our logging library, and nothing of the compiler's runtime
# (libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll).
set(allowedImports kernel32.dll msvcrt.dll log.dll setupapi.dll ole32.dll oleaut32.dll)
set(foreignImports "")
foreach(dll IN LISTS imports)
  list(FIND allowedImports "${dll}" index)
  if(index EQUAL -1)
    list(APPEND foreignImports "${dll}")
  endif()
endforeach()

if(unexpected OR missing OR foreignImports)
  list(JOIN unexpected "\n  " unexpectedText)
  list(JOIN missing "\n  " missingText)
  list(JOIN foreignImports "\n  " foreignText)
  message(FATAL_ERROR "Export table of ${LIBRARY}:\nnot part of the API:\n  ${unexpectedText}\n"
                      "missing:\n  ${missingText}\nimports of DLLs Windows does not ship:\n  ${foreignText}")
endif()
list(LENGTH symbols count)
list(JOIN imports " " importText)
message(STATUS "${count} exported symbols, all part of the API; imports: ${importText}")
