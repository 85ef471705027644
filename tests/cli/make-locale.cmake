# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the de_DE.UTF-8 locale in LOCALE_DIR, for the tests that run under a comma-decimal
# locale without changing the system. localedef warns about its sources and says so in its exit
# status, so only the result counts.
file(MAKE_DIRECTORY ${LOCALE_DIR})
execute_process(COMMAND localedef -c -i de_DE -f UTF-8 ${LOCALE_DIR}/de_DE.UTF-8
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT EXISTS ${LOCALE_DIR}/de_DE.UTF-8)
    message(WARNING "localedef could not make de_DE.UTF-8 (${result}): ${errors}")
endif()
