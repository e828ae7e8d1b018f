# Run by CPack after it has made the packages (CPACK_POST_BUILD_SCRIPTS): gives
# each .deb the Installed-Size dpkg-gencontrol would give it. CPack's own
# count follows links, so a program with a link to it on bin/ counts twice.
# dpkg-gencontrol's count: each file and link its size in KiB, rounded up;
# each folder 1.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.deb$")
        continue()
    endif()
    set(tree ${package}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(
        COMMAND find . -path ./DEBIAN -prune -o -printf "%y %s\\n"
        WORKING_DIRECTORY ${tree}
        OUTPUT_VARIABLE entries
        COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "[^\n]+" entries "${entries}")
    set(size 0)
    foreach(entry IN LISTS entries)
        string(REPLACE " " ";" entry "${entry}")
        list(GET entry 0 type)
        list(GET entry 1 bytes)
        if(type STREQUAL "f" OR type STREQUAL "l")
            math(EXPR size "${size} + (${bytes} + 1023) / 1024")
        else()
            math(EXPR size "${size} + 1")
        endif()
    endforeach()
    file(READ ${tree}/DEBIAN/control control)
    string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${size}\n" control "${control}")
    file(WRITE ${tree}/DEBIAN/control "${control}")
    # Packed again as CPack packs: gzip, owned by root, the times kept.
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${package}
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${tree})
endforeach()
