#pragma once

// The two background-music previews of the parameter editor (hall and showroom) over the one
// audio player of the platform. Only one preview plays at a time.
//
// For the parameter editor (selected: the channel's combo-box text, nullopt without a selection;
// volume: the channel's volume stepper):
//   button_play_Click / button_showroom_play_Click -> togglePreview(channel, selected, volume),
//     then set both buttons' titles from buttonTitle().
//   comboBox_*BGMName_Change                       -> selectionChanged(channel, selected, volume)
//   optionBGMRate_Change / showroomBGMRate_Change, end of textField_optionBGMRate_event
//                                                  -> volumeChanged(channel, volume)
// Destroying the preview (the editor closing) stops a preview that still plays.

#include <optional>
#include <string>

namespace dravik {

class AudioPlayer;

enum class BgmChannel { Hall = 0, Showroom = 1 };

class BgmPreview {
public:
    BgmPreview(AudioPlayer& player, std::string bgmFolder);
    ~BgmPreview();
    BgmPreview(const BgmPreview&) = delete;
    BgmPreview& operator=(const BgmPreview&) = delete;

    // Play button: stops the channel when it plays; otherwise starts the selected file (nothing
    // without a selection), shows "stop" even when the file cannot be played, and stops the other
    // channel.
    void togglePreview(BgmChannel channel, const std::optional<std::string>& selected,
                       double volume);
    // Starts "<folder>/<name>.mp3" from its beginning, looping; a missing file plays nothing.
    void startPreview(BgmChannel channel, const std::string& name, double volume);
    // A playing channel restarts with the new selection; a stopped one stays stopped.
    void selectionChanged(BgmChannel channel, const std::optional<std::string>& selected,
                          double volume);
    // Applies at once while the channel plays; a later start takes the stepper's value anyway.
    void volumeChanged(BgmChannel channel, double volume);

    bool isPlaying(BgmChannel channel) const;
    // "play" or "stop".
    std::string buttonTitle(BgmChannel channel) const;

private:
    static int index(BgmChannel channel) { return static_cast<int>(channel); }
    void stop(BgmChannel channel);

    AudioPlayer& m_player;
    std::string m_folder;
    std::optional<BgmChannel> m_owner; // the channel whose file the player last started
    bool m_showsStop[2] = {false, false};
};

} // namespace dravik
