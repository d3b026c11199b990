# SetupAPI device interfaces, CreateFileW/DeviceIoControl and the device
# registry drivers register in, with the devices other processes serve over
# Unix-domain sockets in the device directory.
list(APPEND SVCP_PLATFORM_SOURCES
  posix/src/DeviceIo.cpp
  posix/src/DeviceNode.cpp
  posix/src/DeviceRegistry.cpp
  posix/src/SetupApi.cpp
  posix/src/SocketDeviceProvider.cpp
  posix/src/SocketDeviceServer.cpp
  posix/src/SocketWire.cpp
)
