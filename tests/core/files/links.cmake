# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a GAP file and a link to it (ACTION=make), or checks after defrag went through the link
# that the link is still a link and the file it points to was defragmented (ACTION=check).
set(link ${FOLDER}/link.gap)
set(target ${FOLDER}/target.gap)
if(ACTION STREQUAL "make")
    file(REMOVE_RECURSE ${FOLDER})
    file(MAKE_DIRECTORY ${FOLDER})
    # {100, 300} and the fragment {500, 520}, as four little-endian 32-bit fields each.
    execute_process(COMMAND sh -c "printf '\\144\\000\\000\\000\\054\\001\\000\\000\\364\\001\\000\\000\\010\\002\\000\\000' > '${target}'"
                    RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "could not write ${target}")
    endif()
    file(CREATE_LINK target.gap ${link} SYMBOLIC)
elseif(ACTION STREQUAL "check")
    if(NOT IS_SYMLINK ${link})
        message(FATAL_ERROR "${link} is no longer a link")
    endif()
    file(SIZE ${target} size)
    if(NOT size EQUAL 8)
        message(FATAL_ERROR "${target} holds ${size} bytes, not the 8 of the kept silence")
    endif()
endif()
