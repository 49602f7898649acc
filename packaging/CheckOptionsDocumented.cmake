# Every option a program's --help names is in its manual page and its bash
# completion, and the manual page says nothing about options the program no
# longer has. PROGRAM is the built program, NAME its name, PACKAGING this
# folder.
cmake_policy(VERSION 3.25)
execute_process(COMMAND "${PROGRAM}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE err
                TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME} --help: exit status ${status}: ${err}")
endif()
file(READ "${PACKAGING}/man/${NAME}.1" manual)
file(READ "${PACKAGING}/completion/${NAME}" completion)
# The manual page writes "--scale" as "\-\-scale"; only its OPTIONS section
# counts (its examples name other programs' options).
string(REPLACE "\\-" "-" manual "${manual}")
string(FIND "${manual}" ".SH OPTIONS" start)
string(SUBSTRING "${manual}" ${start} -1 manual)
string(FIND "${manual}" "\n.SH " end)
string(SUBSTRING "${manual}" 0 ${end} manual)

string(REGEX MATCHALL "--[a-z][a-z-]*" helped "${help}")
string(REGEX MATCHALL "--[a-z][a-z-]*" documented "${manual}")
list(REMOVE_DUPLICATES helped)
list(REMOVE_DUPLICATES documented)
set(failures "")
foreach(option IN LISTS helped)
  if(NOT option IN_LIST documented)
    string(APPEND failures "${NAME}: ${option} is missing from man/${NAME}.1\n")
  endif()
  if(NOT completion MATCHES "[ '\n]${option}[ '\n]")
    string(APPEND failures "${NAME}: ${option} is missing from completion/${NAME}\n")
  endif()
endforeach()
# Not every usage text names --help itself.
list(REMOVE_ITEM documented --help)
foreach(option IN LISTS documented)
  if(NOT option IN_LIST helped)
    string(APPEND failures "${NAME}: man/${NAME}.1 names ${option}, which --help does not\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
