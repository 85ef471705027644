# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DGENERATOR=program -DEXPECTED=folder -DSCRATCH=folder -DPATTERN=glob [-DEMULATOR=...]
#       -P compare-generated.cmake
# Runs GENERATOR into SCRATCH and fails when a file matching PATTERN differs from the checked-in
# file of the same name in EXPECTED.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
# EMULATOR runs the generator of a cross build (Wine for the Windows build); empty natively.
execute_process(COMMAND ${EMULATOR} "${GENERATOR}" "${SCRATCH}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${GENERATOR} failed: ${result}")
endif()
file(GLOB generated RELATIVE "${SCRATCH}" "${SCRATCH}/${PATTERN}")
if(NOT generated)
    message(FATAL_ERROR "${GENERATOR} wrote no ${PATTERN}")
endif()
foreach(name IN LISTS generated)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${SCRATCH}/${name}"
                            "${EXPECTED}/${name}" RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "${EXPECTED}/${name} differs from what the generator writes; "
                            "run: ${GENERATOR} ${EXPECTED}")
    endif()
endforeach()
