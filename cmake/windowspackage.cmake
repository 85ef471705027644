# The Windows package, ravik-windows-x86_64.zip: unzipped anywhere, ravik.exe runs from its
# folder. It holds what `cmake --install` puts there (the programs, the DLLs and plugins they
# load, GAP.ico) and README.txt, stripped. Made by `cpack` in the build folder.
configure_file(${PROJECT_SOURCE_DIR}/shell/windows-readme.txt README.txt @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Ravik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ravik-windows-x86_64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
