# Sources of this subsystem, appended to the library core.
list(APPEND SVCPROC_CORE_SOURCES
  cache/DataCache.cpp
  cache/InternalLed.cpp
  cache/InternalSensor.cpp
  cache/LedMap.cpp
  cache/SensorMaps.cpp
)
