# 64-bit Windows: the same sources, built so that they run under 64-bit Wine
# on hosts that cannot execute 32-bit code.
#   cmake --preset win64
set(SVCP_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
