# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package ravik_VERSION_amd64.deb, made by `cpack` in the build folder from the same
# install rules as `cmake --install`, its version the project's. scripts/package-debian
# configures the build for it (prefix /usr, Debian's compiler flags) and checks it with lintian.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "The Debian package installs into /usr: configure with "
                        "-DCMAKE_INSTALL_PREFIX=/usr (scripts/package-debian does)")
endif()

# A package whose upstream is its packager is native: its changelog is changelog.gz, and its
# version the program's, without a Debian revision.
set(docs ${CMAKE_INSTALL_DATADIR}/doc/ravik)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog changelog @ONLY)
add_custom_command(OUTPUT changelog.gz COMMAND gzip -9nkf changelog
                   DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${docs})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ravik)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ravik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Ravik developers <ravik@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Ravik shows, checks and repairs GAP files: the lip-synchronisation timing
files of a game, each listing the silences of one recorded speech sample. It
draws a file as a timeline, lists and checks its silences, removes fragments,
and edits the silences on the recording's waveform, where it can also find
them and play them.

Its command-line companion gaptool does the same for many files at once and
for scripts: it finds the silences of speech recordings, compares GAP files
with their recordings and with each other, converts them to and from the
files of Audacity, Praat, ffmpeg's silencedetect and Rhubarb Lip Sync, and
lints whole voice packs.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
# Stripped as Debian strips programs: the compiler's notes go with the symbols.
set(programs $<TARGET_FILE_NAME:gaptool>)
if(TARGET ravik)
    list(APPEND programs $<TARGET_FILE_NAME:ravik>)
endif()
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program IN ITEMS ${programs})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                    --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")
# Folders as Debian wants them whatever the umask of the one who builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link, as dpkg-shlibdeps finds them; and what ravik loads as a Qt
# plugin, which no linker sees: the SVG icon engine its buttons are drawn with.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# Qt Multimedia plays through a PulseAudio server, or PipeWire's stand-in for one; the codecs of
# every recording format come with libsndfile.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")
include(CPack)
