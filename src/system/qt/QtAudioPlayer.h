#pragma once

#include "platform/AudioPlayer.h"

#include <memory>

class QAudioOutput;
class QMediaPlayer;

namespace dravik {

// MP3 playback through Qt Multimedia, looping without end. Created on the main thread.
class QtAudioPlayer : public AudioPlayer {
public:
    QtAudioPlayer();
    ~QtAudioPlayer() override;

    void play(const std::string& file, double volume) override;
    void setVolume(double volume) override;
    void stop() override;
    bool isPlaying() const override;

private:
    void ensurePlayer();
    std::unique_ptr<QAudioOutput> m_output;
    std::unique_ptr<QMediaPlayer> m_player;
};

} // namespace dravik
