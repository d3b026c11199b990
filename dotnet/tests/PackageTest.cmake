# Makes the package as the svcproc-nupkg target does (PackNuget.cmake, with
# its arguments), then runs CHECK (a |-separated command) on it. Without the
# Windows DLLs PackNuget.cmake says "skipped: ..." and nothing is checked.
# With NUGET (Debian's nuget, optional) a NuGet client also installs the
# package from its folder, as a project's restore would, into a folder of
# its own (HOME too: the client keeps a cache there).
include(${PACKAGE_DIR}/PackNuget.cmake)
if(NOT EXISTS ${OUTPUT})
  return()
endif()
string(REPLACE "|" ";" command "${CHECK}")
execute_process(COMMAND ${command} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the package's check failed (${status})")
endif()

if(NUGET)
  set(client ${STAGE}-client)
  file(REMOVE_RECURSE ${client})
  get_filename_component(feed ${OUTPUT} DIRECTORY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${client}/home
                          ${NUGET} install Svcproc -Source ${feed} -OutputDirectory ${client}/packages
                          -NonInteractive
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nuget could not install the package (${status})")
  endif()
  file(GLOB_RECURSE installed RELATIVE ${client}/packages ${client}/packages/*)
  list(SORT installed)
  get_filename_component(file ${OUTPUT} NAME)
  string(REGEX REPLACE "^Svcproc\\.(.*)\\.nupkg$" "\\1" version "${file}")
  set(root Svcproc.${version})
  set(expected ${root}/Svcproc.${version}.nupkg ${root}/build/Svcproc.targets
      ${root}/lib/netstandard2.0/Svcproc.dll ${root}/lib/netstandard2.0/Svcproc.xml
      ${root}/runtimes/win-x64/native/log.dll ${root}/runtimes/win-x64/native/svcproc.dll
      ${root}/runtimes/win-x86/native/log.dll ${root}/runtimes/win-x86/native/svcproc.dll)
  list(SORT expected)
  if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "nuget installed:\n  ${installed}\nnot:\n  ${expected}")
  endif()
  message("nuget installed the package")
endif()
