#pragma once

#include <memory>
#include <set>
#include <string>

// What an installed ffmpeg can write, as it lists it with -encoders and
// -muxers. A kind it did not answer for (no answer in time, no list in the
// answer) is unknown, and an unknown kind rules nothing out.
struct FfmpegAbilities {
    std::set<std::string> encoders;
    std::set<std::string> muxers;

    // Empty when the ffmpeg can write what these output parameters ask for
    // (their -c/-codec/-vcodec/-acodec/-scodec encoders and -f muxer), else why not.
    std::string whyCannotWrite(const std::string& params) const;

    // The names in ffmpeg's "-encoders" or "-muxers" answer: the second word of
    // each line after the line of dashes. Empty when there is no such list.
    static std::set<std::string> parseList(const std::string& answer);

    // Asks the ffmpeg at ffmpegPath (a path, or a name looked up on PATH) once
    // per path, modification time and size, waiting at most a moment for each
    // answer; whole answers are kept for later runs, for a day, in
    // $XDG_CACHE_HOME/calvera/. Thread-safe.
    static std::shared_ptr<const FfmpegAbilities> of(const std::string& ffmpegPath);
};
