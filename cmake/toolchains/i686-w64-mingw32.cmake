# 32-bit Windows on x86, the library's home platform.
#   cmake --preset win32
set(SVCP_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
