# The exported entry points and the module hooks: only in the shared library.
set(SVCPROC_MODULE_SOURCES
  api/CListenerRegistry.cpp
  api/Module.cpp
  api/ServiceApi.cpp
  api/ServiceApiC.cpp
  api/ServiceProcessorStatus.cpp
  api/VersionStamp.cpp
)
