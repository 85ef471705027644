# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file of the project does not say its licence in an SPDX line (the
# recordings and other data keep their own notices). Run by CTest as
# licence.every_source_file_says_it: cmake -DSOURCE=<project folder> -P this.
cmake_minimum_required(VERSION 3.25)

set(patterns *.cpp *.hpp *.h *.cmake CMakeLists.txt *.sh *.py *.js *.ui *.in *.bash *.1)
set(folders audio bench cli cmake core document fuzz pack packaging scripts shell tests ui examples)
set(sources ${SOURCE}/CMakeLists.txt ${SOURCE}/.ci/run)
foreach(folder IN LISTS folders)
    foreach(pattern IN LISTS patterns)
        file(GLOB_RECURSE found ${SOURCE}/${folder}/${pattern})
        list(APPEND sources ${found})
    endforeach()
endforeach()
file(GLOB scripts ${SOURCE}/scripts/*)
list(APPEND sources ${scripts})
list(REMOVE_ITEM sources ${SOURCE}/scripts/debian-packages)
list(REMOVE_DUPLICATES sources)
# The benchmark's npm detectors (bench/anchors/install) are others' code, never committed.
list(FILTER sources EXCLUDE REGEX "/node_modules/")

set(unmarked)
foreach(source IN LISTS sources)
    file(STRINGS ${source} marks LIMIT_COUNT 3 REGEX "SPDX-License-Identifier: GPL-3.0-or-later")
    if(NOT marks)
        file(RELATIVE_PATH name ${SOURCE} ${source})
        list(APPEND unmarked ${name})
    endif()
endforeach()
if(unmarked)
    list(JOIN unmarked "\n  " listed)
    message(FATAL_ERROR "These source files say no licence (add an SPDX line, "
                        "SPDX-License-Identifier: GPL-3.0-or-later, near the top):\n  ${listed}")
endif()
