# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build's programs run under Wine, in a prefix of the build's own that the test run
# makes fresh (the CTest fixture "wine") and removes again, so no run sees another's registry.
set(RAVIK_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine, which runs the Windows programs")
set(RAVIK_WINESERVER /usr/lib/wine/wineserver CACHE FILEPATH "Wine's server, stopped after the tests")
set(RAVIK_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "Wine's throw-away prefix")
# The tests' prefixes: the faces programs ask for, drawn with installed ones, and the sound driver.
set(RAVIK_WINE_SETTINGS "${CMAKE_CURRENT_LIST_DIR}/wine-prefix.reg")

# No Mono or Gecko installer prompts, which the tests need neither of; and no menu builder,
# which would mirror the registered file types into the real home's desktop folders.
set(ravik_wine_environment WINEPREFIX=${RAVIK_WINEPREFIX} WINEDEBUG=-all
                           WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${ravik_wine_environment} ${RAVIK_WINE})

# Adds the fixture "wine" that every test run under Wine requires.
function(ravik_add_wine_fixture)
    add_test(NAME wine.start
             COMMAND ${CMAKE_COMMAND} -DACTION=start -DPREFIX=${RAVIK_WINEPREFIX}
                     "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -DWINESERVER=${RAVIK_WINESERVER}
                     -DSETTINGS=${RAVIK_WINE_SETTINGS} -P ${PROJECT_SOURCE_DIR}/cmake/wineprefix.cmake)
    add_test(NAME wine.stop
             COMMAND ${CMAKE_COMMAND} -DACTION=stop -DPREFIX=${RAVIK_WINEPREFIX}
                     "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -DWINESERVER=${RAVIK_WINESERVER}
                     -P ${PROJECT_SOURCE_DIR}/cmake/wineprefix.cmake)
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()
