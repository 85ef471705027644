# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a room of the code includes a room it may not: each room includes only the rooms
# below it (the README's map of the code), and only ui/ and the program's main include Qt.
# Run by CTest as rooms.include_only_the_rooms_below: cmake -DSOURCE=<project folder> -P this.
# Each row: a room, then the rooms it may include ("Qt" for Qt's headers and the windows' forms).
cmake_minimum_required(VERSION 3.25)

set(rooms
    "core/text"
    "core/format\;core/text"
    "core/files\;core/text\;core/format"
    "core/exchange\;core/text\;core/format"
    "core/actions\;core/text\;core/format\;core/files"
    "audio\;core/text\;core/format\;core/files"
    "document\;core/text\;core/format\;core/files\;core/actions\;audio"
    "pack\;core/text\;core/format\;core/files\;core/exchange\;core/actions\;audio"
    "cli\;core/text\;core/format\;core/files\;core/exchange\;core/actions\;audio\;pack"
    "shell\;core/text\;core/files"
    "ui\;core/text\;core/format\;core/files\;core/actions\;audio\;document\;pack\;Qt")
# The program's main puts the windows and the desktop together.
set(exceptions "shell/ravikmain.cpp\;ui\;Qt")

set(every_room)
foreach(row IN LISTS rooms)
    list(GET row 0 room)
    list(APPEND every_room ${room})
endforeach()

set(faults)
foreach(row IN LISTS rooms)
    list(GET row 0 room)
    set(allowed ${row})
    list(REMOVE_AT allowed 0)
    file(GLOB_RECURSE sources RELATIVE ${SOURCE} ${SOURCE}/${room}/*.cpp ${SOURCE}/${room}/*.hpp
         ${SOURCE}/${room}/*.h ${SOURCE}/${room}/*.in)
    foreach(source IN LISTS sources)
        set(may ${allowed})
        foreach(exception IN LISTS exceptions)
            list(GET exception 0 file)
            if(file STREQUAL source)
                list(REMOVE_AT exception 0)
                list(APPEND may ${exception})
            endif()
        endforeach()
        file(STRINGS ${SOURCE}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" header
                                 "${line}")
            set(target "")
            if(header MATCHES "^(Q[A-Za-z0-9]*|ui_.*)$" OR header MATCHES "^Qt[A-Za-z]*/")
                set(target Qt)
            else()
                foreach(other IN LISTS every_room)
                    string(LENGTH "${other}/" length)
                    string(SUBSTRING "${header}" 0 ${length} start)
                    if(start STREQUAL "${other}/")
                        set(target ${other})
                    endif()
                endforeach()
            endif()
            if(target AND NOT target STREQUAL room AND NOT target IN_LIST may)
                list(APPEND faults "${source} includes ${header} (${target}), which ${room} may not")
            endif()
        endforeach()
    endforeach()
endforeach()

if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "A room includes one it may not (see the README's map of the code):\n  "
                        "${text}")
endif()
message(STATUS "Every room includes only the rooms below it.")
