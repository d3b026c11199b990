# SetupAPI device interfaces, CreateFileW/DeviceIoControl and the device
# registry drivers register in.
list(APPEND SVCP_PLATFORM_SOURCES
)
