# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DACTION=start|stop -DPREFIX=... -DEMULATOR=... -DWINESERVER=... [-DSETTINGS=file.reg]
#       -P wineprefix.cmake
# start: makes a fresh Wine prefix (the first start of Wine takes a while), imports SETTINGS and
# starts the prefix's Wine server for the whole run; stop: ends that server and removes the
# prefix.
#
# Left to itself, Wine starts a prefix's server with its first program and ends it a few seconds
# after its last: two tests starting and ending at once then met a server on its way out ("a
# wine server seems to be running, but I cannot connect to it"). One server that stays up for
# the run (--persistent) is started here, once, before any test runs, and is ready when it
# returns (it leaves for the background only once it listens).

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
    # Its output goes to a file, not to a pipe, which the server would hold open for the run.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} --persistent
                    RESULT_VARIABLE result OUTPUT_FILE ${PREFIX}/server.log
                    ERROR_FILE ${PREFIX}/server.log)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "starting the Wine server failed: ${result}")
    endif()
    # The prefix's services (services.exe, winedevice.exe, ...) start with its first program and
    # live as long as its server: started here, they hold this log open, not the output of the
    # first test, whose reader would wait for them to end.
    execute_process(COMMAND ${EMULATOR} wineboot RESULT_VARIABLE result
                    OUTPUT_FILE ${PREFIX}/server.log ERROR_FILE ${PREFIX}/server.log)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "starting the Wine prefix's services failed: ${result}")
    endif()
elseif(ACTION STREQUAL "stop")
    execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} -k
                    ERROR_QUIET)
    file(REMOVE_RECURSE "${PREFIX}")
else()
    message(FATAL_ERROR "ACTION must be start or stop")
endif()
