# Sources of this subsystem, appended to the library core.
list(APPEND SVCPROC_CORE_SOURCES
  io/DriverChannel.cpp
  io/ExchangeCounters.cpp
  io/IOUnit.cpp
  io/IOUnitAlerts.cpp
  io/IOUnitKinds.cpp
  io/IOUnitReads.cpp
  io/ListenerList.cpp
  io/ListenerProbe.cpp
  io/PollingThread.cpp
  io/SvcpPacket.cpp
)
