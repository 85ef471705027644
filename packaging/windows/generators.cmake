# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack once for each generator: the installer's name.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME ravik-setup-x86_64)
endif()
