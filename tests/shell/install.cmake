# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DBUILD=folder -DPREFIX=folder -DGAP_FILE=file -P install.cmake
# Installs the build into PREFIX as `cmake --install` does for a user, then asks the desktop's
# own tool for the type of a GAP file with PREFIX's share folder as the system's data.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/gaptool share/mime/packages/ravik.xml
             share/icons/hicolor/scalable/mimetypes/application-x-gap.svg)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "${file} is not installed")
    endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=XDG_CURRENT_DESKTOP
                        HOME=${PREFIX}/home XDG_DATA_HOME=${PREFIX}/no-user-data
                        XDG_DATA_DIRS=${PREFIX}/share
                        xdg-mime query filetype "${GAP_FILE}"
                OUTPUT_VARIABLE type RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT type STREQUAL "application/x-gap\n")
    message(FATAL_ERROR "xdg-mime gives the type \"${type}\" (status ${result})")
endif()
