# Assembles the NuGet package (a zip in the Open Packaging layout) from the
# built binding and the Windows builds' DLLs:
#   Svcproc.nuspec, [Content_Types].xml, _rels/.rels
#   lib/netstandard2.0/Svcproc.dll, Svcproc.xml
#   runtimes/win-x86/native/svcproc.dll, log.dll   (WIN32_DIR)
#   runtimes/win-x64/native/svcproc.dll, log.dll   (WIN64_DIR)
#   build/Svcproc.targets                          (.NET Framework projects)
# Script mode: cmake -DBINDING=... -DDOC=... -DNUSPEC=... -DPACKAGE_DIR=...
#   -DWIN32_DIR=... -DWIN64_DIR=... -DSTAGE=... -DOUTPUT=... -P PackNuget.cmake
# With -DMISSING=skip a missing Windows DLL prints "skipped: ..." and makes
# nothing, for a test on a machine without the Windows builds; otherwise it
# fails. The entries carry a fixed time, so the same inputs give the same file.
foreach(var BINDING DOC NUSPEC PACKAGE_DIR WIN32_DIR WIN64_DIR STAGE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "PackNuget.cmake: ${var} not given")
  endif()
endforeach()

file(REMOVE ${OUTPUT})
set(missing "")
foreach(pair "win-x86;${WIN32_DIR}" "win-x64;${WIN64_DIR}")
  list(GET pair 1 dir)
  foreach(dll svcproc.dll log.dll)
    if(NOT EXISTS ${dir}/${dll})
      list(APPEND missing ${dir}/${dll})
    endif()
  endforeach()
endforeach()
if(missing)
  list(JOIN missing ", " text)
  set(advice "build the win32 and win64 presets' svcproc and log targets, or set SVCP_NUGET_WIN32_DIR and SVCP_NUGET_WIN64_DIR")
  if(MISSING STREQUAL "skip")
    message("skipped: no ${text} (${advice})")
    return()
  endif()
  message(FATAL_ERROR "PackNuget.cmake: no ${text}: ${advice}")
endif()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/_rels ${STAGE}/lib/netstandard2.0 ${STAGE}/build
     ${STAGE}/runtimes/win-x86/native ${STAGE}/runtimes/win-x64/native)
file(COPY ${NUSPEC} ${PACKAGE_DIR}/[Content_Types].xml DESTINATION ${STAGE})
file(COPY_FILE ${PACKAGE_DIR}/package.rels ${STAGE}/_rels/.rels)
file(COPY ${PACKAGE_DIR}/Svcproc.targets DESTINATION ${STAGE}/build)
file(COPY ${BINDING} ${DOC} DESTINATION ${STAGE}/lib/netstandard2.0)
file(COPY ${WIN32_DIR}/svcproc.dll ${WIN32_DIR}/log.dll DESTINATION ${STAGE}/runtimes/win-x86/native)
file(COPY ${WIN64_DIR}/svcproc.dll ${WIN64_DIR}/log.dll DESTINATION ${STAGE}/runtimes/win-x64/native)

set(entries Svcproc.nuspec [Content_Types].xml _rels/.rels build/Svcproc.targets
    lib/netstandard2.0/Svcproc.dll lib/netstandard2.0/Svcproc.xml
    runtimes/win-x86/native/svcproc.dll runtimes/win-x86/native/log.dll
    runtimes/win-x64/native/svcproc.dll runtimes/win-x64/native/log.dll)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip "--mtime=2000-01-01 00:00:00 UTC"
                        ${entries}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "PackNuget.cmake: zip failed (${status})")
endif()
message("wrote ${OUTPUT}")
