# Links FOLDER/bin/ffmpeg to the ffmpeg on PATH. It runs when the program
# folder is laid out, not at configure time, so configuring needs no ffmpeg.
# Without one there is no link, and the programs look on PATH themselves.
#   cmake -DFOLDER=DIR -P LinkFfmpeg.cmake
find_program(found ffmpeg NO_CACHE)
file(MAKE_DIRECTORY ${FOLDER}/bin)
if(found)
    file(CREATE_LINK ${found} ${FOLDER}/bin/ffmpeg SYMBOLIC)
else()
    file(REMOVE ${FOLDER}/bin/ffmpeg)
    message(WARNING "no ffmpeg on PATH: ${FOLDER} has no bin/ffmpeg")
endif()
