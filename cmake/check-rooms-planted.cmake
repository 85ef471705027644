# SPDX-License-Identifier: GPL-3.0-or-later
# The rooms' check fails, naming the file and the header, for each include of a room above: run
# by CTest as rooms.an_include_from_above_is_named: cmake -DCHECK=check-rooms.cmake
# -DSCRATCH=<folder> -P this.
cmake_minimum_required(VERSION 3.25)

# Each row: the file planted, the header it includes.
set(cases
    "audio/planted.cpp\;document/silencedocument.hpp"
    "document/planted.cpp\;ui/recordingwindow.hpp"
    "document/planted.hpp\;pack/voicepack.hpp"
    "core/format/planted.cpp\;core/files/fileio.hpp"
    "cli/planted.cpp\;document/silencedocument.hpp"
    "core/text/planted.cpp\;QString")
foreach(row IN LISTS cases)
    list(GET row 0 planted)
    list(GET row 1 header)
    file(REMOVE_RECURSE ${SCRATCH})
    file(WRITE ${SCRATCH}/${planted} "#include \"${header}\"\n")
    execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${SCRATCH} -P ${CHECK}
                    RESULT_VARIABLE result ERROR_VARIABLE said OUTPUT_QUIET)
    if(result EQUAL 0)
        message(FATAL_ERROR "${planted} includes ${header}, and the check passed")
    endif()
    string(FIND "${said}" "${planted} includes ${header}" named)
    if(named LESS 0)
        message(FATAL_ERROR "The check did not name ${planted} and ${header}:\n${said}")
    endif()
endforeach()
file(REMOVE_RECURSE ${SCRATCH})
