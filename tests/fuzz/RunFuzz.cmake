# Runs one fuzz target for a short while from the committed seeds and what earlier runs in this
# build folder found (kept in WORK, never in the tree). Prints the target's final coverage; on a
# failure, the whole fuzzer log. Fails as well when the coverage reaches none of the program's
# own sources: the parsers were built without coverage counters, and the fuzzer would mutate blind.
#   cmake -DTARGET=<binary> -DWORK=<build-side corpus> -DCORPUS=<seed corpus>
#         -DSOURCES=<the program's source folder> -P RunFuzz.cmake
# With -DMERGE=ON it only folds the inputs of WORK that add coverage into the seed corpus: the
# deliberate step behind the fuzz-merge target, whose result is then committed.
if(MERGE)
  foreach(var TARGET WORK CORPUS)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "RunFuzz.cmake needs -D${var}=...")
    endif()
  endforeach()
  file(MAKE_DIRECTORY ${WORK} ${CORPUS})
  file(GLOB before ${CORPUS}/*)
  execute_process(COMMAND ${TARGET} -merge=1 -rss_limit_mb=2048 -timeout=10 ${CORPUS} ${WORK}
                  RESULT_VARIABLE merged ERROR_VARIABLE mergeLog OUTPUT_QUIET)
  if(NOT merged EQUAL 0)
    message("${mergeLog}")
    message(FATAL_ERROR "merging into ${CORPUS} failed (${merged})")
  endif()
  file(GLOB after ${CORPUS}/*)
  list(LENGTH before seeds)
  list(LENGTH after grown)
  message("${CORPUS}: ${seeds} -> ${grown} inputs")
  return()
endif()
foreach(var TARGET WORK CORPUS SOURCES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "RunFuzz.cmake needs -D${var}=...")
  endif()
endforeach()
get_filename_component(name ${TARGET} NAME)
file(MAKE_DIRECTORY ${WORK} ${CORPUS})
set(log ${WORK}.log)

execute_process(
  COMMAND ${TARGET} -max_total_time=30 -rss_limit_mb=2048 -timeout=10 -print_coverage=1
          ${WORK} ${CORPUS}
  RESULT_VARIABLE fuzzed ERROR_FILE ${log} OUTPUT_QUIET)
file(READ ${log} output)
if(NOT fuzzed EQUAL 0)
  message("${output}")
  message(FATAL_ERROR "${name} failed (${fuzzed}); the input that broke it is named above")
endif()
string(REGEX MATCH "INITED cov: [0-9]+ ft: [0-9]+" start "${output}")
string(REGEX MATCH "DONE +cov: [0-9]+ ft: [0-9]+ corp: [^ ]+" done "${output}")
if(NOT done)
  message("${output}")
  message(FATAL_ERROR "${name} gave no final coverage")
endif()
file(REAL_PATH ${SOURCES} sources)
# Function names may hold what a CMake list would split or bracket; only the paths count.
string(REGEX REPLACE "[][;]" "_" listable "${output}")
string(REGEX MATCHALL "COVERED_FUNC: [^\n]* [^ \n]+:[0-9]+\n" covered "${listable}")
set(reached "")
foreach(line IN LISTS covered)
  string(REGEX REPLACE ".* ([^ \n]+):[0-9]+\n$" "\\1" file "${line}")
  file(REAL_PATH ${file} file)
  string(FIND "${file}" "${sources}/" at)
  if(at EQUAL 0)
    set(reached ${file})
    break()
  endif()
endforeach()
if(NOT reached)
  message(FATAL_ERROR "${name} reached none of ${sources}: the code it feeds has no coverage counters")
endif()
string(REGEX REPLACE "^DONE +" "" done "${done}")
string(REGEX REPLACE "^INITED " "" start "${start}")

file(GLOB found ${WORK}/*)
list(LENGTH found kept)
message("${name}: final coverage ${done} (seeds alone: ${start}); ${kept} inputs kept in ${WORK}")
