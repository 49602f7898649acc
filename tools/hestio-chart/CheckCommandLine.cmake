# `hestio-chart`: help, days that do not exist, samples that are not an
# array of records, and values of any size, each with its exit status and
# exact message. Extreme values must render (a bounded number of ticks)
# rather than run away; the time-out only guards against a hang.
set(scratch "${CMAKE_CURRENT_BINARY_DIR}/hestio-chart-command-line")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}/folder")
set(failures "")

function(run name status expected_err)
  execute_process(COMMAND "${TOOL}" ${ARGN} RESULT_VARIABLE got OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
  if(NOT got STREQUAL "${status}")
    string(APPEND failures "${name}: exit status [${got}], expected ${status} (${err})\n")
  endif()
  if(NOT expected_err STREQUAL "*" AND NOT err STREQUAL expected_err)
    string(APPEND failures "${name}: error [${err}] expected [${expected_err}]\n")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

# Ten samples a day apart by the hour, all of one value.
function(samples file value)
  set(text "[")
  foreach(hour RANGE 0 9)
    math(EXPR ms "1700006400000 + ${hour} * 3600000")
    if(hour GREATER 0)
      string(APPEND text ",")
    endif()
    string(APPEND text "{\"timestamp\":${ms},\"powerDraw\":${value}}")
  endforeach()
  file(WRITE "${file}" "${text}]")
endfunction()

foreach(args "--help" "-h" "render;--help" "render;--samples;x.json;--help")
  run("help ${args}" 0 "" ${args})
  if(NOT out MATCHES "^usage: hestio-chart render ")
    string(APPEND failures "help ${args}: output [${out}]\n")
  endif()
endforeach()

run(version 0 "" --version)
if(NOT out STREQUAL "hestio-chart ${VERSION}\n")
  string(APPEND failures "version: output [${out}]\n")
endif()
# A word it does not know is named, wherever it stands (the last one used to
# read as a missing value).
samples("${scratch}/normal.json" 1500)
foreach(case "--bogus|2|option --bogus" "draw|2|command draw" "render;--bogus;x|2|option --bogus"
             "render;--samples;${scratch}/normal.json;--bogus|2|option --bogus")
  string(REPLACE "|" ";" parts "${case}")
  list(POP_BACK parts named)
  list(POP_BACK parts status)
  run("unknown ${parts}" ${status} "*" ${parts})
  if(NOT err MATCHES "^hestio-chart: unknown ${named}\nusage: hestio-chart render ")
    string(APPEND failures "unknown ${parts}: error [${err}]\n")
  endif()
endforeach()
run(missing-value 2 "hestio-chart: missing value after --day\n" render --samples "${scratch}/normal.json" --day)

set(day --day 2023-11-15 --out "${scratch}/out.png")
run(normal 0 "" render --samples "${scratch}/normal.json" ${day})
run(leap-day 0 "" render --samples "${scratch}/normal.json" --day 2024-02-29 --out "${scratch}/out.png")
run(no-leap-day 1 "hestio-chart: --day 2023-02-29 is not a day of the calendar: 2023-02 has 28 days\n"
    render --samples "${scratch}/normal.json" --day 2023-02-29 --out "${scratch}/out.png")
run(february-30 1 "hestio-chart: --day 2024-02-30 is not a day of the calendar: 2024-02 has 29 days\n"
    render --samples "${scratch}/normal.json" --day 2024-02-30 --out "${scratch}/out.png")
run(april-31 1 "hestio-chart: --day 2023-04-31 is not a day of the calendar: 2023-04 has 30 days\n"
    render --samples "${scratch}/normal.json" --day 2023-04-31 --out "${scratch}/out.png")
run(month-13 1 "hestio-chart: --day must be YYYY-MM-DD\n"
    render --samples "${scratch}/normal.json" --day 2023-13-01 --out "${scratch}/out.png")

file(WRITE "${scratch}/object.json" "{\"timestamp\":1700006400000,\"powerDraw\":5}")
run(object 1 "hestio-chart: ${scratch}/object.json: not a JSON array of sample records (objects): the top level is an object\n"
    render --samples "${scratch}/object.json" ${day})
file(WRITE "${scratch}/numbers.json" "[{\"timestamp\":1700006400000,\"powerDraw\":5}, 7]")
run(number-element 1 "hestio-chart: ${scratch}/numbers.json: not a JSON array of sample records (objects): element 1 is a number\n"
    render --samples "${scratch}/numbers.json" ${day})
file(WRITE "${scratch}/nested.json" "[[1700006400000, 5]]")
run(array-element 1 "hestio-chart: ${scratch}/nested.json: not a JSON array of sample records (objects): element 0 is an array\n"
    render --samples "${scratch}/nested.json" ${day})
run(folder 1 "hestio-chart: cannot read ${scratch}/folder: Is a directory\n" render --samples "${scratch}/folder" ${day})
run(missing 1 "hestio-chart: cannot read ${scratch}/missing.json: No such file or directory\n"
    render --samples "${scratch}/missing.json" ${day})

# Values no meter sends, drawn with a bounded number of ticks and written
# to the CSV file as they are (none for null).
set(written_1e9 "1e+09")
set(written_1e12 "1e+12")
set(written_-1e12 "-1e+12")
set(written_1e308 "1e+308")
set(written_-1e308 "-1e+308")
set(written_1.7976931348623157e308 "1.7976931348623157e+308")
set(written_5e-324 "5e-324")
set(written_null "")
foreach(value 1e9 1e12 -1e12 1e308 -1e308 1.7976931348623157e308 5e-324 null)
  samples("${scratch}/extreme.json" ${value})
  file(REMOVE "${scratch}/extreme.png" "${scratch}/extreme.csv")
  run("value ${value}" 0 "" render --samples "${scratch}/extreme.json" --day 2023-11-15 --out "${scratch}/extreme.png"
      --csv "${scratch}/extreme.csv")
  if(NOT EXISTS "${scratch}/extreme.png")
    string(APPEND failures "value ${value}: no image written\n")
  endif()
  file(STRINGS "${scratch}/extreme.csv" lines)
  # The days before hold no samples: each has its own gap line first.
  list(FILTER lines INCLUDE REGEX "^2023-11-15T")
  list(GET lines 0 first_sample)
  if(NOT first_sample STREQUAL "2023-11-15T00:00:00+00:00,${written_${value}},W")
    string(APPEND failures "value ${value}: the CSV's first sample is [${first_sample}]\n")
  endif()
endforeach()

# The CSV file: the week ending with the day, in the zone, byte for byte.
# Ten samples an hour apart: each day without samples is a gap of its own
# at its midnight, and the evening is a gap (longer than two and a half
# usual intervals).
run(csv 0 "" render --samples "${scratch}/normal.json" --day 2023-11-15 --zone Europe/Berlin
    --csv "${scratch}/week.csv")
set(expected "time,value,unit\r\n")
foreach(day RANGE 9 14)
  if(day LESS 10)
    set(day "0${day}")
  endif()
  string(APPEND expected "2023-11-${day}T00:00:00+01:00,,W\r\n")
endforeach()
foreach(hour RANGE 1 10)
  if(hour LESS 10)
    set(hour "0${hour}")
  endif()
  string(APPEND expected "2023-11-15T${hour}:00:00+01:00,1500,W\r\n")
endforeach()
string(APPEND expected "2023-11-15T11:00:00+01:00,,W\r\n")
# Read as bytes: a text read would drop the carriage returns.
file(READ "${scratch}/week.csv" csv HEX)
string(HEX "${expected}" expected_hex)
if(NOT csv STREQUAL expected_hex)
  string(APPEND failures "csv: [${csv}]\nexpected [${expected_hex}]\n")
endif()
if(EXISTS "${scratch}/out.png")
  file(REMOVE "${scratch}/out.png")
endif()

# Bars from plain text: an hour without a block is an empty line; the unit
# is quoted where it must be. Only the CSV is written without --out.
file(WRITE "${scratch}/blocks.txt" "1700006400000 0.25\n1700013600000 -\n1700017200000 1e-3\n")
run(csv-bars 0 "" render --plot bar --samples "${scratch}/blocks.txt" --day 2023-11-15 --unit "kWh, net"
    --csv "${scratch}/blocks.csv")
file(STRINGS "${scratch}/blocks.csv" lines)
list(LENGTH lines count)
if(NOT count EQUAL 169)
  string(APPEND failures "csv-bars: ${count} lines, expected a header and 168 hours\n")
endif()
list(SUBLIST lines 0 2 head)
list(SUBLIST lines 145 4 day)
set(expected_head "time,value,unit" "2023-11-09T00:00:00+00:00,,\"kWh, net\"")
set(expected_day "2023-11-15T00:00:00+00:00,0.25,\"kWh, net\"" "2023-11-15T01:00:00+00:00,,\"kWh, net\""
    "2023-11-15T02:00:00+00:00,,\"kWh, net\"" "2023-11-15T03:00:00+00:00,0.001,\"kWh, net\"")
if(NOT head STREQUAL expected_head OR NOT day STREQUAL expected_day)
  string(APPEND failures "csv-bars: [${head}] [${day}]\n")
endif()
if(EXISTS "${scratch}/out.png")
  string(APPEND failures "csv-bars: a picture was written without --out\n")
endif()
run(csv-folder 1 "hestio-chart: cannot write ${scratch}/folder: Is a directory\n"
    render --samples "${scratch}/normal.json" --day 2023-11-15 --csv "${scratch}/folder")
run(no-output 1 "*" render --samples "${scratch}/normal.json" --day 2023-11-15)

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
