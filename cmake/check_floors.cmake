# cmake -DSRC=<repo>/src -P check_floors.cmake
#
# Fails when a file under src/ includes a file of a room ("room/file.h") on a floor above its own,
# when two rooms include each other, or when a folder under src/ stands on no floor. A room is a
# folder under src/; the floors are the README's "Layout", ground first.
cmake_minimum_required(VERSION 3.25)

set(floor_0 platform platform/win32)
set(floor_1 service i18n frontpanel)
set(floor_2 maintenance launchers)
set(floor_3 shell)
set(floor_4 app)
set(top_floor 4)

if(NOT IS_DIRECTORY "${SRC}")
  message(FATAL_ERROR "usage: cmake -DSRC=<repo>/src -P check_floors.cmake")
endif()

foreach(level RANGE ${top_floor})
  foreach(room IN LISTS floor_${level})
    set(floor_of_${room} ${level})
  endforeach()
endforeach()

set(faults "")
set(edges "")
file(GLOB_RECURSE files RELATIVE "${SRC}" "${SRC}/*.h" "${SRC}/*.cpp")
list(SORT files)
foreach(file IN LISTS files)
  get_filename_component(room "${file}" DIRECTORY)
  if(NOT DEFINED floor_of_${room})
    string(APPEND faults "src/${file}: its folder src/${room} stands on no floor\n")
    continue()
  endif()
  file(STRINGS "${SRC}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" included "${line}")
    get_filename_component(target "${included}" DIRECTORY)
    # Includes from outside src/ (the test fakes, the generated headers) stand on no floor.
    if(NOT DEFINED floor_of_${target} OR target STREQUAL room)
      continue()
    endif()
    if(floor_of_${target} GREATER floor_of_${room})
      string(APPEND faults
        "src/${file}: includes \"${included}\", a floor above src/${room}\n")
    endif()
    list(APPEND edges "${room}>${target}")
  endforeach()
endforeach()

list(REMOVE_DUPLICATES edges)
foreach(edge IN LISTS edges)
  string(REPLACE ">" ";" pair "${edge}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  if("${to}>${from}" IN_LIST edges AND from STRLESS to)
    string(APPEND faults "src/${from} and src/${to} include each other\n")
  endif()
endforeach()

if(faults)
  message(FATAL_ERROR "The floors do not hold:\n${faults}")
endif()
list(LENGTH files count)
message(STATUS "The floors hold: ${count} files checked")
