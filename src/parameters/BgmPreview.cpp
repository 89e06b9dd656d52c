#include "parameters/BgmPreview.h"

#include "platform/AudioPlayer.h"

#include <filesystem>

namespace dravik {

namespace {

BgmChannel other(BgmChannel channel) {
    return channel == BgmChannel::Hall ? BgmChannel::Showroom : BgmChannel::Hall;
}

// The player takes single-precision volumes on the target platform.
double playerVolume(double volume) {
    return static_cast<float>(volume);
}

} // namespace

BgmPreview::BgmPreview(AudioPlayer& player, std::string bgmFolder)
    : m_player(player), m_folder(std::move(bgmFolder)) {}

BgmPreview::~BgmPreview() {
    if (m_owner && m_player.isPlaying())
        m_player.stop();
}

bool BgmPreview::isPlaying(BgmChannel channel) const {
    return m_owner == channel && m_player.isPlaying();
}

std::string BgmPreview::buttonTitle(BgmChannel channel) const {
    return m_showsStop[index(channel)] ? "stop" : "play";
}

void BgmPreview::stop(BgmChannel channel) {
    if (isPlaying(channel))
        m_player.stop();
}

void BgmPreview::startPreview(BgmChannel channel, const std::string& name, double volume) {
    stop(channel);
    std::string file = m_folder + "/" + name + ".mp3";
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return;
    m_owner = channel;
    m_player.play(file, playerVolume(volume));
}

void BgmPreview::togglePreview(BgmChannel channel, const std::optional<std::string>& selected,
                               double volume) {
    if (isPlaying(channel)) {
        stop(channel);
        m_showsStop[index(channel)] = false;
        return;
    }
    if (!selected)
        return;
    BgmChannel second = other(channel);
    bool secondWasPlaying = isPlaying(second);
    startPreview(channel, *selected, volume);
    m_showsStop[index(channel)] = true;
    if (secondWasPlaying) {
        // Starting this channel has taken the player over unless its file could not be played.
        stop(second);
        m_showsStop[index(second)] = false;
    }
}

void BgmPreview::selectionChanged(BgmChannel channel, const std::optional<std::string>& selected,
                                  double volume) {
    if (!isPlaying(channel))
        return;
    if (selected)
        startPreview(channel, *selected, volume);
    else
        stop(channel);
}

void BgmPreview::volumeChanged(BgmChannel channel, double volume) {
    if (m_owner == channel)
        m_player.setVolume(playerVolume(volume));
}

} // namespace dravik
