# cmake -DACTION=start|stop -DPREFIX=... -DEMULATOR=... -DWINESERVER=... [-DSETTINGS=file.reg]
#       -P wineprefix.cmake
# start: makes a fresh Wine prefix (the first start of Wine takes a while) and imports SETTINGS;
# stop: ends its Wine server and removes it.

# wineboot returns while the prefix's set-up (rundll32 installing wine.inf) may still run: the
# tests start once every process of the prefix has ended.
function(settle)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} -w)
endfunction()

if(ACTION STREQUAL "start")
    file(REMOVE_RECURSE "${PREFIX}")
    execute_process(COMMAND ${EMULATOR} wineboot --init RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "wineboot failed: ${result}")
    endif()
    settle()
    if(SETTINGS)
        execute_process(COMMAND ${EMULATOR} regedit /S ${SETTINGS} RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "importing ${SETTINGS} failed: ${result}")
        endif()
        settle()
    endif()
elseif(ACTION STREQUAL "stop")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} -k
                    ERROR_QUIET)
    file(REMOVE_RECURSE "${PREFIX}")
else()
    message(FATAL_ERROR "ACTION must be start or stop")
endif()
