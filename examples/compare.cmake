# Regenerates the examples into SCRATCH and fails when one differs from the shipped file.
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
# EMULATOR runs the generator of a cross build (Wine for the Windows build); empty natively.
execute_process(COMMAND ${EMULATOR} "${GENERATOR}" "${SCRATCH}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "make_examples failed: ${result}")
endif()
file(GLOB generated RELATIVE "${SCRATCH}" "${SCRATCH}/*.gap")
foreach(name IN LISTS generated)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${SCRATCH}/${name}"
                            "${EXAMPLES}/${name}" RESULT_VARIABLE differs)
    if(differs)
        message(FATAL_ERROR "examples/${name} differs from what make_examples writes; "
                            "run: make_examples examples")
    endif()
endforeach()
