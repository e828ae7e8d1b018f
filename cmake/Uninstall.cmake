# Removes what `cmake --install` installed: every file in the install manifest,
# then the folders that are Calvera's own (libexec/calvera/, its help/,
# share/doc/calvera/ and share/doc/calvera-batch/ with their examples/) once
# they are empty. Folders shared with other programs (bin/, share/man/man1/,
# the icon theme's) stay, empty or not.
#   cmake -DMANIFEST=build/install_manifest.txt -P cmake/Uninstall.cmake
# (the build's `uninstall` target runs this).
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "no install manifest at \"${MANIFEST}\": nothing was installed from this build")
endif()
file(STRINGS "${MANIFEST}" files)
set(folders)
foreach(file IN LISTS files)
    if(EXISTS "${file}" OR IS_SYMLINK "${file}")
        file(REMOVE "${file}")
    endif()
    # The file's folders up to the one of Calvera's own it is in, if it is in one.
    get_filename_component(folder "${file}" DIRECTORY)
    if(folder MATCHES "^(.*/(libexec|share/doc)/calvera(-batch)?)(/.*)?$")
        set(own "${CMAKE_MATCH_1}")
        while(NOT folder STREQUAL own)
            list(APPEND folders "${folder}")
            get_filename_component(folder "${folder}" DIRECTORY)
        endwhile()
        list(APPEND folders "${own}")
    endif()
endforeach()
list(REMOVE_DUPLICATES folders)
# The deepest first, so that a folder is empty when its parent is looked at.
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
    file(GLOB left "${folder}/*" "${folder}/.*")
    if(IS_DIRECTORY "${folder}" AND NOT left)
        file(REMOVE_RECURSE "${folder}")
    endif()
endforeach()
list(LENGTH files count)
message(STATUS "Removed the ${count} files of ${MANIFEST} and the folders of Calvera's own they left empty")
