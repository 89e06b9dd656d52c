#pragma once

#include <string>

namespace dravik {

// Plays one MP3 file at a time, looping without end.
class AudioPlayer {
public:
    virtual ~AudioPlayer() = default;

    virtual void play(const std::string& file, double volume) = 0;
    virtual void setVolume(double volume) = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;
};

} // namespace dravik
