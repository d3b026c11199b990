# Sources of this subsystem, appended to the library core.
list(APPEND SVCPROC_CORE_SOURCES
  smbios/RawSMBios.cpp
  smbios/SMBiosData.cpp
  smbios/SMBiosChipData.cpp
  smbios/SMBiosSensorData.cpp
  smbios/SMBiosLedData.cpp
)
