# kernel32 and C runtime stand-ins: handles, events, threads, critical
# sections, last error, tick counter, memory queries, multibyte conversion and
# the test seams.
list(APPEND SVCP_PLATFORM_SOURCES
  posix/src/CriticalSection.cpp
  posix/src/Dispatcher.cpp
  posix/src/Events.cpp
  posix/src/HandleTable.cpp
  posix/src/LastError.cpp
  posix/src/Memory.cpp
  posix/src/Multibyte.cpp
  posix/src/Seams.cpp
  posix/src/Threads.cpp
  posix/src/TickCount.cpp
)
