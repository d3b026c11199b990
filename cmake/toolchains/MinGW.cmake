# Shared part of the mingw-w64 toolchains. The including file sets
# SVCP_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
#
# The -posix compilers are used for their threads model: std::mutex and
# std::thread exist only there (through winpthread).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SVCP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SVCP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SVCP_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${SVCP_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump for the target")
set(CMAKE_STRIP ${SVCP_MINGW_TRIPLE}-strip CACHE FILEPATH "strip for the target (the packages)")

set(CMAKE_FIND_ROOT_PATH /usr/${SVCP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's runtime (libgcc, libstdc++, winpthread) is linked into each
# module, so the DLLs and test programs need only what Windows itself ships
# (kernel32, msvcrt, setupapi, ole32, oleaut32) and our own log.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
