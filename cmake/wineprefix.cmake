# cmake -DACTION=start|stop -DPREFIX=... -DEMULATOR=... -DWINESERVER=... -P wineprefix.cmake
# start: makes a fresh Wine prefix (the first start of Wine takes a while);
# stop: ends its Wine server and removes it.
if(ACTION STREQUAL "start")
    file(REMOVE_RECURSE "${PREFIX}")
    execute_process(COMMAND ${EMULATOR} wineboot --init RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "wineboot failed: ${result}")
    endif()
elseif(ACTION STREQUAL "stop")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} -k
                    ERROR_QUIET)
    file(REMOVE_RECURSE "${PREFIX}")
else()
    message(FATAL_ERROR "ACTION must be start or stop")
endif()
