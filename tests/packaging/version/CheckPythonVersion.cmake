# The Python package states its version in its own files, where pip reads
# it from the source tree: it must be the project's.
#   cmake -DVERSION=<project version> -DPYTHON_DIR=<source>/python -P CheckPythonVersion.cmake
foreach(variable VERSION PYTHON_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "CheckPythonVersion.cmake: ${variable} not set")
  endif()
endforeach()

# pyproject.toml: the version line of the [project] table.
file(STRINGS ${PYTHON_DIR}/pyproject.toml lines)
set(table "")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[([^]]*)\\]")
    set(table "${CMAKE_MATCH_1}")
  elseif(table STREQUAL "project" AND line MATCHES "^version *= *\"([^\"]*)\"")
    set(found "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT found STREQUAL VERSION)
  message(FATAL_ERROR "python/pyproject.toml gives version \"${found}\"; the project is ${VERSION} "
                      "(project(VERSION) in CMakeLists.txt)")
endif()

# The module's __version__, where it is written out.
file(STRINGS ${PYTHON_DIR}/svcproc/__init__.py lines REGEX "^__version__ *= *")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^__version__ *= *\"${VERSION}\"$")
    message(FATAL_ERROR "python/svcproc/__init__.py: ${line}; the project is ${VERSION}")
  endif()
endforeach()
message(STATUS "python/: version ${VERSION}")
