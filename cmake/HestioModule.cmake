# hestio_module(NAME name DIRS dir... [DEPS target...] [TEST_DEPS target...])
#
# Makes the static library hestio_<name> (alias hestio::<name>) from every
# .cpp under src/<dir>, and, when tests/<dir> holds .cpp files, the test
# program test_<name> whose GoogleTest cases CTest runs one by one. Sources are
# globbed so that adding a file needs no edit here.
# Partly initialised aggregates ({ "GET", url }) are idiomatic here.
set(HESTIO_WARNINGS -Wall -Wextra -Werror -Wno-missing-field-initializers)

function(hestio_module)
  cmake_parse_arguments(M "" "NAME" "DIRS;DEPS;TEST_DEPS" ${ARGN})
  set(sources "")
  set(test_sources "")
  foreach(dir IN LISTS M_DIRS)
    file(GLOB_RECURSE s CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/src/${dir}/*.cpp")
    list(APPEND sources ${s})
    file(GLOB_RECURSE t CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/tests/${dir}/*.cpp")
    list(APPEND test_sources ${t})
  endforeach()

  set(target hestio_${M_NAME})
  # Recorded for the layer check (cmake/CheckLayers.cmake): which folders
  # each library holds and which of our libraries it links to.
  set(module_deps "")
  foreach(dep IN LISTS M_DEPS)
    if(dep MATCHES "^hestio_(.+)$")
      list(APPEND module_deps ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY HESTIO_MODULES ${M_NAME})
  set_property(GLOBAL PROPERTY HESTIO_MODULE_DIRS_${M_NAME} ${M_DIRS})
  set_property(GLOBAL PROPERTY HESTIO_MODULE_DEPS_${M_NAME} ${module_deps})
  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}/src")
    target_compile_options(${target} PRIVATE ${HESTIO_WARNINGS})
    target_link_libraries(${target} PUBLIC ${M_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE "${CMAKE_SOURCE_DIR}/src")
    target_link_libraries(${target} INTERFACE ${M_DEPS})
  endif()
  add_library(hestio::${M_NAME} ALIAS ${target})

  if(test_sources AND BUILD_TESTING)
    add_executable(test_${M_NAME} ${test_sources})
    set_target_properties(test_${M_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
    target_include_directories(test_${M_NAME} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    target_compile_options(test_${M_NAME} PRIVATE ${HESTIO_WARNINGS})
    target_link_libraries(test_${M_NAME} PRIVATE ${target} hestio_testsupport ${M_TEST_DEPS}
                          GTest::gtest GTest::gmock)
    target_compile_definitions(test_${M_NAME} PRIVATE
      HESTIO_SOURCE_DIR="${CMAKE_SOURCE_DIR}" HESTIO_BINARY_DIR="${CMAKE_BINARY_DIR}")
    gtest_discover_tests(test_${M_NAME} DISCOVERY_MODE PRE_TEST
                         WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
                         PROPERTIES ENVIRONMENT "HESTIO_ASSETS=${CMAKE_SOURCE_DIR}/assets;TZ=UTC;LC_ALL=C.UTF-8")
  endif()
endfunction()

# Writes, for the layer check, one line per library: its name, its folders
# and the libraries it links to ("name|dir,dir|dep,dep").
function(hestio_write_layers file)
  get_property(modules GLOBAL PROPERTY HESTIO_MODULES)
  set(text "")
  foreach(module IN LISTS modules)
    get_property(dirs GLOBAL PROPERTY HESTIO_MODULE_DIRS_${module})
    get_property(deps GLOBAL PROPERTY HESTIO_MODULE_DEPS_${module})
    list(JOIN dirs "," dirs)
    list(JOIN deps "," deps)
    string(APPEND text "${module}|${dirs}|${deps}\n")
  endforeach()
  file(WRITE "${file}" "${text}")
endfunction()
