# Checks the dynamic symbol table of the shared library: every defined symbol
# belongs to the exported API, and the API's required symbols are there.
#   cmake -DLIBRARY=<libsvcproc.so> -DNM=<nm> -P CheckExportedSymbols.cmake
execute_process(COMMAND ${NM} -D -C --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

set(classes "CSensorInformation|CLedInformation|CSensorReading|CLedReading|CSensorHandleList|CLedHandleList|ISensorStateListener")
set(functions "InitialiseServiceDriver|EnumerateSensorHandles|EnumerateLedHandles|GetSensorInformation|GetLedInformation|ReadSensor|ReadLed|RegisterSensorStateListener|UnregisterSensorStateListener")
set(allowed
  "^ServiceApi::(${functions})\\("
  "^((typeinfo|typeinfo name|vtable) for )?(${classes})(::|$)"
  # The list instantiation the handle lists derive from.
  "(std::__cxx11::list|std::__cxx11::_List_base)<unsigned long, std::allocator<unsigned long> >::"
)
set(required
  "ServiceApi::InitialiseServiceDriver()"
  "ServiceApi::EnumerateSensorHandles(CSensorHandleList&)"
  "ServiceApi::EnumerateLedHandles(CLedHandleList&)"
  "ServiceApi::GetSensorInformation(unsigned long, CSensorInformation&)"
  "ServiceApi::GetLedInformation(unsigned long, CLedInformation&)"
  "ServiceApi::ReadSensor(unsigned long, CSensorReading&)"
  "ServiceApi::ReadLed(unsigned long, CLedReading&)"
  "ServiceApi::RegisterSensorStateListener(ISensorStateListener*)"
  "ServiceApi::UnregisterSensorStateListener(ISensorStateListener*)"
  "CSensorInformation::CSensorInformation()"
  "CSensorInformation::CSensorInformation(CSensorInformation const&)"
  "CSensorInformation::operator=(CSensorInformation const&)"
  "CSensorInformation::~CSensorInformation()"
  "CLedInformation::CLedInformation()"
  "CLedInformation::CLedInformation(CLedInformation const&)"
  "CLedInformation::operator=(CLedInformation const&)"
  "CLedInformation::~CLedInformation()"
  "std::__cxx11::list<unsigned long, std::allocator<unsigned long> >::push_back(unsigned long const&)"
)

string(REPLACE "\n" ";" lines "${listing}")
set(symbols "")
set(unexpected "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>"
  if(NOT line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
    continue()
  endif()
  set(symbol "${CMAKE_MATCH_1}")
  list(APPEND symbols "${symbol}")
  set(ok FALSE)
  foreach(pattern IN LISTS allowed)
    if(symbol MATCHES "${pattern}")
      set(ok TRUE)
      break()
    endif()
  endforeach()
  if(NOT ok)
    list(APPEND unexpected "${symbol}")
  endif()
endforeach()

set(missing "")
foreach(symbol IN LISTS required)
  list(FIND symbols "${symbol}" index)
  if(index EQUAL -1)
    list(APPEND missing "${symbol}")
  endif()
endforeach()

if(unexpected OR missing)
  list(JOIN unexpected "\n  " unexpectedText)
  list(JOIN missing "\n  " missingText)
  message(FATAL_ERROR "Exported symbols of ${LIBRARY}:\nnot part of the API:\n  ${unexpectedText}\nmissing:\n  ${missingText}")
endif()
list(LENGTH symbols count)
message(STATUS "${count} exported symbols, all part of the API")
