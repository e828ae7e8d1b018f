# Links FOLDER/bin/ffmpeg and FOLDER/bin/ffprobe to the ones on PATH. It runs
# when the program folder is laid out, not at configure time, so configuring
# needs neither. Without one there is no link, and the programs look on PATH
# themselves (an output is then measured with ffmpeg's own listing).
#   cmake -DFOLDER=DIR -P LinkFfmpeg.cmake
file(MAKE_DIRECTORY ${FOLDER}/bin)
foreach(program ffmpeg ffprobe)
    find_program(found_${program} ${program} NO_CACHE)
    if(found_${program})
        file(CREATE_LINK ${found_${program}} ${FOLDER}/bin/${program} SYMBOLIC)
    else()
        file(REMOVE ${FOLDER}/bin/${program})
        message(WARNING "no ${program} on PATH: ${FOLDER} has no bin/${program}")
    endif()
endforeach()
