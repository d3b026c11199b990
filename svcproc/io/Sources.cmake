# Sources of this subsystem, appended to the library core.
list(APPEND SVCPROC_CORE_SOURCES
  io/DriverChannel.cpp
  io/SvcpPacket.cpp
)
