# SPDX-License-Identifier: GPL-3.0-or-later
# The programs on Qt's DLLs. On Windows each runs from the build folder as from the package:
# beside it go Qt's DLLs, the plugins Qt loads from folders beside the program, and MinGW's
# runtime DLLs, which Qt's DLLs and these programs share.

if(WIN32)
    # What the package holds beside ravik.exe.
    set(RAVIK_QT_DLLS Qt6::Core Qt6::Gui Qt6::Widgets)
    set(RAVIK_MINGW_DLLS)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${path}")
            message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
        endif()
        file(REAL_PATH "${path}" path)
        list(APPEND RAVIK_MINGW_DLLS ${path})
    endforeach()
endif()

# ravik_qt_program(TARGET): links TARGET with the runtime DLLs and, on Windows, puts everything
# it needs to run beside it after each build; the window tests' Qt Test and offscreen platform
# too.
function(ravik_qt_program target)
    set_target_properties(${target} PROPERTIES RAVIK_QT_PROGRAM ON)
    if(NOT WIN32)
        return()
    endif()
    set(folder $<TARGET_FILE_DIR:${target}>)
    set(files ${RAVIK_MINGW_DLLS})
    foreach(dll IN LISTS RAVIK_QT_DLLS ITEMS Qt6::Test)
        list(APPEND files $<TARGET_FILE:${dll}>)
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${folder}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}/platforms
                               ${folder}/styles
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different
                               $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
                               $<TARGET_FILE:Qt6::QOffscreenIntegrationPlugin> ${folder}/platforms
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different
                               $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> ${folder}/styles
                       VERBATIM)
endfunction()

# ravik_install_qt_runtime(): installs, beside the programs, what ravik.exe needs to run; an
# install with --strip (and the package) strips them as it strips the programs.
function(ravik_install_qt_runtime)
    if(NOT WIN32)
        return()
    endif()
    set(names)
    foreach(dll IN LISTS RAVIK_MINGW_DLLS)
        install(FILES ${dll} DESTINATION ${CMAKE_INSTALL_BINDIR})
        get_filename_component(name ${dll} NAME)
        list(APPEND names ${name})
    endforeach()
    foreach(dll IN LISTS RAVIK_QT_DLLS)
        install(FILES $<TARGET_FILE:${dll}> DESTINATION ${CMAKE_INSTALL_BINDIR})
        list(APPEND names $<TARGET_FILE_NAME:${dll}>)
    endforeach()
    install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
            DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>
            DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
    list(APPEND names platforms/$<TARGET_FILE_NAME:Qt6::QWindowsIntegrationPlugin>
                      styles/$<TARGET_FILE_NAME:Qt6::QWindowsVistaStylePlugin>)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            foreach(name IN ITEMS ${names})
                execute_process(COMMAND \"${CMAKE_STRIP}\"
                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${name}\"
                    COMMAND_ERROR_IS_FATAL ANY)
            endforeach()
        endif()")
endfunction()
