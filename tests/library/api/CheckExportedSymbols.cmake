# Checks the dynamic symbol table of the shared library: every defined symbol
# belongs to the exported API, and the API's required symbols are there.
#   cmake -DLIBRARY=<libsvcproc.so> -DNM=<nm> -P CheckExportedSymbols.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/ApiSymbols.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../support/CommandLines.cmake)

# "<address> <type> <name>"
svcp_command_lines(lines ${NM} -D -C --defined-only ${LIBRARY})
set(symbols "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    list(APPEND symbols "${CMAKE_MATCH_1}")
  endif()
endforeach()

svcp_check_api_symbols("${symbols}"
  # The list instantiation the handle lists derive from.
  "(std::__cxx11::list|std::__cxx11::_List_base)<unsigned long, std::allocator<unsigned long> >::"
  "std::__cxx11::list<unsigned long, std::allocator<unsigned long> >::push_back(unsigned long const&)"
  unexpected missing)

if(unexpected OR missing)
  list(JOIN unexpected "\n  " unexpectedText)
  list(JOIN missing "\n  " missingText)
  message(FATAL_ERROR "Exported symbols of ${LIBRARY}:\nnot part of the API:\n  ${unexpectedText}\nmissing:\n  ${missingText}")
endif()
list(LENGTH symbols count)
message(STATUS "${count} exported symbols, all part of the API")
