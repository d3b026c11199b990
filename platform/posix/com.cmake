# COM, OLE Automation and the WMI subset with its SMBIOS provider.
list(APPEND SVCP_PLATFORM_SOURCES
)
