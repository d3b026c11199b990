# SetupAPI device interfaces, CreateFileW/DeviceIoControl and the device
# registry drivers register in.
list(APPEND SVCP_PLATFORM_SOURCES
  posix/src/DeviceIo.cpp
  posix/src/DeviceNode.cpp
  posix/src/DeviceRegistry.cpp
  posix/src/SetupApi.cpp
)
