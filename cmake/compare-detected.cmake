# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DGAPTOOL=program -DRECORDING=file.wav -DEXPECTED=file.gap -DSCRATCH=folder
#       [-DEMULATOR=wine...] -P compare-detected.cmake
# Fails when `gaptool detect RECORDING` writes anything but the checked-in EXPECTED file.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND ${EMULATOR} "${GAPTOOL}" detect "${RECORDING}" -o "${SCRATCH}/detected.gap"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "gaptool detect ${RECORDING} failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${SCRATCH}/detected.gap" "${EXPECTED}"
                RESULT_VARIABLE differs)
if(differs)
    message(FATAL_ERROR "${EXPECTED} differs from what gaptool detect writes for ${RECORDING}; "
                        "run: gaptool detect --force ${RECORDING}")
endif()
