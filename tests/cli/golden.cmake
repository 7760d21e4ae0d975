# Runs holescan-cli on one golden case and compares its outputs byte for byte with the files
# checked in beside the input, or (UPDATE=ON) writes them there.
#
#   cmake -DCLI=<holescan-cli> -DCASE_DIR=<tests/data/case> [-DOUT_DIR=<scratch>] [-DUPDATE=ON]
#         -P golden.cmake
#
# A case folder holds input.<ext> (the picture), optionally `args` (more arguments, one a
# line) and the expected outputs: report.txt, messages.txt, result.png, analysis.json and
# summary.txt (standard output). The command runs in the case folder, on "input.<ext>", with
# LC_ALL=C so that the report's decimal separator is '.'.
cmake_minimum_required(VERSION 3.25)

file(GLOB inputs RELATIVE "${CASE_DIR}" "${CASE_DIR}/input.*")
list(LENGTH inputs input_count)
if(NOT input_count EQUAL 1)
  message(FATAL_ERROR "${CASE_DIR}: expected exactly one input.* picture, found: ${inputs}")
endif()
set(args "")
if(EXISTS "${CASE_DIR}/args")
  file(STRINGS "${CASE_DIR}/args" args)
endif()
if(UPDATE)
  set(OUT_DIR "${CASE_DIR}")
else()
  file(REMOVE_RECURSE "${OUT_DIR}")
  file(MAKE_DIRECTORY "${OUT_DIR}")
endif()

set(outputs report.txt messages.txt result.png analysis.json summary.txt)
execute_process(
  COMMAND "${CMAKE_COMMAND}" -E env LC_ALL=C
          "${CLI}" ${args}
          --report "${OUT_DIR}/report.txt" --messages "${OUT_DIR}/messages.txt"
          --result "${OUT_DIR}/result.png" --json "${OUT_DIR}/analysis.json"
          ${inputs}
  WORKING_DIRECTORY "${CASE_DIR}"
  OUTPUT_FILE "${OUT_DIR}/summary.txt"
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "holescan-cli exited with ${status}:\n${errors}")
endif()
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "holescan-cli wrote to standard error:\n${errors}")
endif()
if(UPDATE)
  message(STATUS "updated ${CASE_DIR}")
  return()
endif()

find_program(DIFF diff)
set(failed "")
foreach(output ${outputs})
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                          "${CASE_DIR}/${output}" "${OUT_DIR}/${output}"
                  RESULT_VARIABLE different OUTPUT_QUIET ERROR_QUIET)
  if(different)
    list(APPEND failed ${output})
    if(DIFF AND NOT output MATCHES "\\.png$")
      execute_process(COMMAND "${DIFF}" -u "${CASE_DIR}/${output}" "${OUT_DIR}/${output}"
                      OUTPUT_VARIABLE changes)
      string(SUBSTRING "${changes}" 0 4000 changes)
      message("--- ${output} differs:\n${changes}")
    endif()
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${CASE_DIR}: outputs differ from the expected ones: ${failed}\n"
                      "The new outputs are in ${OUT_DIR}; if the change is intended, run "
                      "tests/data/update-golden and review the diff.")
endif()
