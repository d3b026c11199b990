# Builds the Windows package from a Windows build with wixl:
#   cmake -DBUILD_DIR=... -DOUTPUT=....msi -DVERSION=x.y.z -DWIN64=yes|no
#         -DWORK_DIR=... [-DWIXL=wixl] -P BuildMsi.cmake
# The build is installed (stripped) into WORK_DIR/stage; wixl-heat lists the
# staged files but the monitor, which svcproc.wxs names itself (its service
# custom action runs it), and wixl links the two.
foreach(variable BUILD_DIR OUTPUT VERSION WIN64 WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "BuildMsi.cmake: ${variable} is not set")
  endif()
endforeach()
if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "BuildMsi.cmake: VERSION ${VERSION} is not major.minor.patch")
endif()
if(NOT DEFINED WIXL)
  set(WIXL wixl)
endif()
get_filename_component(wixl_dir ${WIXL} DIRECTORY)
find_program(WIXL_HEAT wixl-heat HINTS ${wixl_dir})
if(NOT WIXL_HEAT)
  message(FATAL_ERROR "BuildMsi.cmake: no wixl-heat (Debian package wixl)")
endif()
if(WIN64 STREQUAL "yes")
  set(arch x64)
else()
  set(arch x86)
endif()

set(stage ${WORK_DIR}/stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} --strip
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "BuildMsi.cmake: cmake --install ${BUILD_DIR} failed")
endif()
if(NOT EXISTS ${stage}/bin/svcproc-monitor.exe)
  message(FATAL_ERROR "BuildMsi.cmake: the build has no svcproc-monitor.exe")
endif()

file(GLOB_RECURSE files LIST_DIRECTORIES false ${stage}/*)
list(REMOVE_ITEM files ${stage}/bin/svcproc-monitor.exe)
list(SORT files)
string(REPLACE ";" "\n" file_list "${files}")
file(WRITE ${WORK_DIR}/files.txt "${file_list}\n")
set(heat_args -p ${stage}/ --directory-ref INSTALLDIR --component-group StagedFiles
              --var var.StageDir)
if(WIN64 STREQUAL "yes")
  list(APPEND heat_args --win64)
endif()
execute_process(COMMAND ${WIXL_HEAT} ${heat_args}
                INPUT_FILE ${WORK_DIR}/files.txt OUTPUT_FILE ${WORK_DIR}/Files.wxs
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "BuildMsi.cmake: wixl-heat failed")
endif()

# Each folder gets a component that creates it, so that uninstall removes
# it again: the installer removes only the folders its components name, and
# share/ or include/svcproc/ hold no file of their own. GUIDs derived from the
# folder's id stay the same from one build to the next.
file(READ ${WORK_DIR}/Files.wxs fragment)
string(REGEX MATCHALL "<Directory Id=\"[A-Za-z0-9_]+\" Name=\"[^\"]*\">" folders "${fragment}")
foreach(folder IN LISTS folders)
  string(REGEX REPLACE ".*Id=\"([A-Za-z0-9_]+)\".*" "\\1" id "${folder}")
  string(UUID guid NAMESPACE c56ed761-03f8-492a-bcd7-e437f679b71f NAME ${id} TYPE SHA1)
  string(REPLACE "${folder}" "${folder}<Component Win64=\"$(var.Win64)\" Id=\"cf${id}\" Guid=\"${guid}\"><CreateFolder/></Component>" fragment "${fragment}")
  list(APPEND created "cf${id}")
endforeach()
list(TRANSFORM created REPLACE "(.+)" "<ComponentRef Id=\"\\1\"/>")
string(JOIN "" created ${created})
string(REPLACE "<ComponentGroup Id=\"StagedFiles\">" "<ComponentGroup Id=\"StagedFiles\">${created}"
       fragment "${fragment}")
file(WRITE ${WORK_DIR}/Files.wxs "${fragment}")

# wixl takes sources relative to the .wxs files' folder only.
configure_file(${CMAKE_CURRENT_LIST_DIR}/svcproc.wxs ${WORK_DIR}/svcproc.wxs COPYONLY)
get_filename_component(output ${OUTPUT} ABSOLUTE)
execute_process(COMMAND ${WIXL} -a ${arch} -D Version=${VERSION} -D Win64=${WIN64}
                        -D StageDir=stage -o ${output} svcproc.wxs Files.wxs
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "BuildMsi.cmake: wixl failed for ${OUTPUT}")
endif()
message(STATUS "Built ${OUTPUT}")
