# COM, OLE Automation and the WMI subset with its SMBIOS provider.
list(APPEND SVCP_PLATFORM_SOURCES
  posix/src/com/Apartment.cpp
  posix/src/com/Bstr.cpp
  posix/src/com/ComTrace.cpp
  posix/src/com/Guids.cpp
  posix/src/com/SafeArray.cpp
  posix/src/com/SmbiosProvider.cpp
  posix/src/com/SocketTableSource.cpp
  posix/src/com/TableSources.cpp
  posix/src/com/Variant.cpp
  posix/src/com/WbemLocator.cpp
  posix/src/com/WbemServices.cpp
)
