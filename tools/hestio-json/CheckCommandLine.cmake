# The command line of `hestio-json` apart from decoding itself: help and
# version, words it does not know, inputs that are no readable file, and
# output that cannot be written. Each case checks the exit status and the
# exact error line.
set(scratch "${CMAKE_CURRENT_BINARY_DIR}/hestio-json-command-line")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}/folder")
file(WRITE "${scratch}/ok.json" "{\"a\":[1,2]}")
set(failures "")

# run(NAME STATUS STDOUT STDERR ARGS...): STDOUT "*" accepts any output;
# OUTPUT_TO names a file that receives standard output instead.
function(run name status expected_out expected_err)
  if(DEFINED OUTPUT_TO)
    execute_process(COMMAND "${TOOL}" ${ARGN} RESULT_VARIABLE got OUTPUT_FILE "${OUTPUT_TO}" ERROR_VARIABLE err
                    TIMEOUT 60)
    set(out "")
  else()
    execute_process(COMMAND "${TOOL}" ${ARGN} RESULT_VARIABLE got OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  endif()
  if(NOT got STREQUAL "${status}")
    string(APPEND failures "${name}: exit status [${got}], expected ${status}\n")
  endif()
  if(NOT expected_out STREQUAL "*" AND NOT out STREQUAL expected_out)
    string(APPEND failures "${name}: output [${out}] expected [${expected_out}]\n")
  endif()
  if(NOT err STREQUAL expected_err)
    string(APPEND failures "${name}: error [${err}] expected [${expected_err}]\n")
  endif()
  set(failures "${failures}" PARENT_SCOPE)
endfunction()

set(usage "usage: hestio-json decode [--options N] [--mutable] FILE|-\n       hestio-json encode [--pretty] [--escape-slash] [--escape-non-ascii] FILE|-\n       hestio-json --version\n")
run(help 0 "${usage}" "" --help)
run(help-short 0 "${usage}" "" -h)
run(decode-help 0 "${usage}" "" decode --help)
run(encode-help 0 "${usage}" "" encode --help)
run(decode-help-after-a-file 0 "${usage}" "" decode "${scratch}/ok.json" --help)
run(no-command 2 "" "${usage}")
run(unknown-command 2 "" "error: unknown command transcode\n${usage}" transcode "${scratch}/ok.json")
run(version 0 "hestio-json ${VERSION}\n" "" --version)
# What was not understood is named, not only the usage shown.
run(unknown-option 2 "" "error: unknown option --bogus\n${usage}" --bogus)
run(unknown-decode-option 2 "" "error: unknown option --pretty for decode\n${usage}" decode --pretty "${scratch}/ok.json")
run(unknown-last-option 2 "" "error: unknown option --bogus for encode\n${usage}" encode "${scratch}/ok.json" --bogus)
run(options-without-number 2 "" "error: --options needs a number\n${usage}" decode "${scratch}/ok.json" --options)
run(two-files 2 "" "error: only one FILE, not also ${scratch}/ok.json\n${usage}" decode "${scratch}/ok.json" "${scratch}/ok.json")

run(encode-ok 0 "{\"a\":[1,2]}\n" "" encode "${scratch}/ok.json")
run(folder 1 "" "error: cannot read ${scratch}/folder: Is a directory\n" decode "${scratch}/folder")
run(encode-folder 1 "" "error: cannot read ${scratch}/folder: Is a directory\n" encode "${scratch}/folder")
run(missing 1 "" "error: cannot read ${scratch}/missing.json: No such file or directory\n"
    decode "${scratch}/missing.json")

# A full disk is an error, not a quiet success.
set(OUTPUT_TO /dev/full)
run(decode-to-full-disk 1 "" "error: cannot write output: No space left on device\n" decode "${scratch}/ok.json")
run(encode-to-full-disk 1 "" "error: cannot write output: No space left on device\n" encode "${scratch}/ok.json")
run(help-to-full-disk 1 "" "error: cannot write output: No space left on device\n" --help)
unset(OUTPUT_TO)

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
