# What the library's binary may export, shared by the checks of its ELF
# dynamic symbol table and of its PE export table (demangled names).
#   include(ApiSymbols.cmake)
#   svcp_check_api_symbols(<symbols> <extra allowed patterns> <extra required>
#                          <unexpected out var> <missing out var>)

set(SVCP_API_CLASSES "CSensorInformation|CLedInformation|CSensorReading|CLedReading|CSensorHandleList|CLedHandleList|ISensorStateListener")
set(SVCP_API_FUNCTIONS "InitialiseServiceDriver|EnumerateSensorHandles|EnumerateLedHandles|GetSensorInformation|GetLedInformation|ReadSensor|ReadLed|RegisterSensorStateListener|UnregisterSensorStateListener|GetServiceProcessorStatus|GetMachineInfo")

# The nine entry points, the link-status extension and the records'
# out-of-line members.
set(SVCP_API_REQUIRED
  "ServiceApi::InitialiseServiceDriver()"
  "ServiceApi::EnumerateSensorHandles(CSensorHandleList&)"
  "ServiceApi::EnumerateLedHandles(CLedHandleList&)"
  "ServiceApi::GetSensorInformation(unsigned long, CSensorInformation&)"
  "ServiceApi::GetLedInformation(unsigned long, CLedInformation&)"
  "ServiceApi::ReadSensor(unsigned long, CSensorReading&)"
  "ServiceApi::ReadLed(unsigned long, CLedReading&)"
  "ServiceApi::RegisterSensorStateListener(ISensorStateListener*)"
  "ServiceApi::UnregisterSensorStateListener(ISensorStateListener*)"
  # The link-status extension (ServiceProcessorStatus.h); its record has no
  # out-of-line members.
  "ServiceApi::GetServiceProcessorStatus(CServiceProcessorStatus&)"
  # The machine-information extension (MachineInfo.h), a plain record too.
  "ServiceApi::GetMachineInfo(CMachineInfo&)"
  "CSensorInformation::CSensorInformation()"
  "CSensorInformation::CSensorInformation(CSensorInformation const&)"
  "CSensorInformation::operator=(CSensorInformation const&)"
  "CSensorInformation::~CSensorInformation()"
  "CLedInformation::CLedInformation()"
  "CLedInformation::CLedInformation(CLedInformation const&)"
  "CLedInformation::operator=(CLedInformation const&)"
  "CLedInformation::~CLedInformation()"
)

function(svcp_check_api_symbols symbols extraAllowed extraRequired unexpectedVar missingVar)
  set(allowed
    "^ServiceApi::(${SVCP_API_FUNCTIONS})\\("
    "^((typeinfo|typeinfo name|vtable) for )?(${SVCP_API_CLASSES})(::|$)"
    "^(${svcp_c_api_pattern})$"
    ${extraAllowed})
  set(unexpected "")
  foreach(symbol IN LISTS symbols)
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
  foreach(symbol IN LISTS SVCP_API_REQUIRED extraRequired)
    list(FIND symbols "${symbol}" index)
    if(index EQUAL -1)
      list(APPEND missing "${symbol}")
    endif()
  endforeach()
  set(${unexpectedVar} "${unexpected}" PARENT_SCOPE)
  set(${missingVar} "${missing}" PARENT_SCOPE)
endfunction()

# The C interface (svcproc_c.h): undecorated names.
set(SVCP_C_API_FUNCTIONS
  SvcpGetApiVersion SvcpInitialiseServiceDriver SvcpEnumerateSensorHandles SvcpEnumerateLedHandles
  SvcpGetSensorInformation SvcpGetSensorPossibleState SvcpGetLedInformation SvcpReadSensor
  SvcpReadLed SvcpRegisterSensorStateListener SvcpUnregisterSensorStateListener SvcpResultName
  SvcpResultMeaning
  # The machine-information extension (machine/svcproc_machine_c.h).
  SvcpGetMachineInfo)
list(APPEND SVCP_API_REQUIRED ${SVCP_C_API_FUNCTIONS})
list(JOIN SVCP_C_API_FUNCTIONS "|" svcp_c_api_pattern)
