# cmake -DLAYERS=<file> -DSOURCE_DIR=<repo> -P CheckLayers.cmake
#
# Fails when a file under src/ includes a header of a library its own library
# does not link to, directly or through the libraries it links to: a feature
# including the app, a record including a screen, the platform including the
# application. LAYERS is the file hestio_write_layers made from the build's
# own library list, so the check and the link lines cannot disagree.

cmake_minimum_required(VERSION 3.25)

file(STRINGS "${LAYERS}" lines)
set(modules "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([^|]*)\\|([^|]*)\\|(.*)$" _ "${line}")
  set(name "${CMAKE_MATCH_1}")
  string(REPLACE "," ";" dirs_${name} "${CMAKE_MATCH_2}")
  string(REPLACE "," ";" deps_${name} "${CMAKE_MATCH_3}")
  list(APPEND modules ${name})
endforeach()

# What each library may include: itself and everything it links to, directly
# or not.
foreach(module IN LISTS modules)
  set(reach ${module})
  set(queue ${deps_${module}})
  while(queue)
    list(POP_FRONT queue next)
    if(NOT next IN_LIST reach AND DEFINED deps_${next})
      list(APPEND reach ${next})
      list(APPEND queue ${deps_${next}})
    endif()
  endwhile()
  set(reach_${module} ${reach})
endforeach()

# The library a folder (relative to src/) belongs to: the longest folder of
# any library that is a prefix of it.
function(owner_of path out)
  set(best "")
  set(best_length 0)
  foreach(module IN LISTS modules)
    foreach(dir IN LISTS dirs_${module})
      string(LENGTH "${dir}" length)
      string(SUBSTRING "${path}/" 0 ${length} head)
      if(head STREQUAL dir AND length GREATER best_length)
        string(SUBSTRING "${path}/" ${length} 1 after)
        if(after STREQUAL "/")
          set(best ${module})
          set(best_length ${length})
        endif()
      endif()
    endforeach()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

set(failures 0)
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}/src" "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
foreach(source IN LISTS sources)
  get_filename_component(folder "${source}" DIRECTORY)
  owner_of("${folder}" from)
  if(NOT from)
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/src/${source}" includes REGEX "^#include \"")
  foreach(include IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*$" "\\1" header "${include}")
    get_filename_component(header_folder "${header}" DIRECTORY)
    if(NOT header_folder)
      continue()
    endif()
    owner_of("${header_folder}" to)
    if(to AND NOT to IN_LIST reach_${from})
      message(SEND_ERROR "src/${source} (${from}) includes ${header} (${to}), which ${from} does not link to")
      math(EXPR failures "${failures} + 1")
    endif()
  endforeach()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) go against the layers")
endif()
list(LENGTH sources checked)
message(STATUS "${checked} files keep to the layers")
