# Checks the folders under ROOTS (comma-separated, relative to SOURCE_DIR):
#   - a folder holds at most MAX_FILES source files (.c, .cpp, .h);
#   - every folder with sources has its row in README.md's layout table
#     (| `folder/` | ...); a folder inside an include/ may go under the row
#     of that include/ or of its parent, whose interface it is; under a
#     root named in ROW_FROM_PARENTS (optional) a folder may go under the
#     row of any folder above it (a room's row owns its subfolders);
#   - no .cmake file does nothing but set or append lists: a source list
#     belongs in the CMakeLists.txt that builds it.
# Fails with one line per finding.
cmake_minimum_required(VERSION 3.16)
foreach(var SOURCE_DIR ROOTS MAX_FILES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckLayout.cmake: ${var} not given")
  endif()
endforeach()
string(REPLACE "," ";" roots "${ROOTS}")
string(REPLACE "," ";" parent_rows "${ROW_FROM_PARENTS}")
file(READ ${SOURCE_DIR}/README.md readme)

set(findings "")
foreach(root IN LISTS roots)
  if(NOT IS_DIRECTORY ${SOURCE_DIR}/${root})
    list(APPEND findings "${root}/: no such folder")
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
       ${SOURCE_DIR}/${root}/*.c ${SOURCE_DIR}/${root}/*.cpp ${SOURCE_DIR}/${root}/*.h)
  set(folders "")
  foreach(source IN LISTS sources)
    get_filename_component(folder ${source} DIRECTORY)
    if(NOT DEFINED count_${folder})
      set(count_${folder} 0)
      list(APPEND folders ${folder})
    endif()
    math(EXPR count_${folder} "${count_${folder}} + 1")
  endforeach()
  list(SORT folders)
  foreach(folder IN LISTS folders)
    if(count_${folder} GREATER MAX_FILES)
      list(APPEND findings
           "${folder}/: ${count_${folder}} source files, more than ${MAX_FILES} (split it by role)")
    endif()
    # Its own row, or for a folder in an include/ the row of that include/
    # or of its parent.
    set(owners ${folder})
    if(folder MATCHES "^(.*)/include(/.*)?$")
      list(APPEND owners "${CMAKE_MATCH_1}/include" "${CMAKE_MATCH_1}")
    endif()
    if(root IN_LIST parent_rows)
      # Not the root's own row: each room needs one.
      get_filename_component(above ${folder} DIRECTORY)
      while(NOT above STREQUAL root AND NOT above STREQUAL "")
        list(APPEND owners ${above})
        get_filename_component(above ${above} DIRECTORY)
      endwhile()
    endif()
    set(has_row FALSE)
    foreach(owner IN LISTS owners)
      string(FIND "${readme}" "| `${owner}/` |" row)
      if(NOT row EQUAL -1)
        set(has_row TRUE)
      endif()
    endforeach()
    if(NOT has_row)
      list(APPEND findings "${folder}/: no row in README.md's layout table")
    endif()
  endforeach()

  file(GLOB_RECURSE lists RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${root}/*.cmake)
  foreach(list_file IN LISTS lists)
    file(READ ${SOURCE_DIR}/${list_file} text)
    string(REGEX REPLACE "#[^\n]*" "" code "${text}")
    string(REGEX REPLACE "(list[ \t]*\\([ \t\n]*APPEND|set[ \t]*\\()[^)]*\\)" "" rest "${code}")
    string(STRIP "${rest}" rest)
    if(rest STREQUAL "" AND NOT code MATCHES "^[ \t\n]*$")
      list(APPEND findings
           "${list_file}: only sets lists (put them in the CMakeLists.txt that uses them)")
    endif()
  endforeach()
endforeach()

if(findings)
  list(JOIN findings "\n  " text)
  message(FATAL_ERROR "Layout:\n  ${text}")
endif()
