# Sources of this subsystem, appended to the library core.
list(APPEND SVCPROC_CORE_SOURCES
  service/POSSystem.cpp
  service/SensorInformationConversion.cpp
  service/ServiceManager.cpp
  service/ServiceProcessor.cpp
)
