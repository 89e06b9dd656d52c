#include "parameters/BgmPreview.h"

#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

using test::FakeAudioPlayer;
constexpr auto kHall = BgmChannel::Hall;
constexpr auto kShowroom = BgmChannel::Showroom;

class BgmPreviewTest : public ::testing::Test {
protected:
    BgmPreviewTest() {
        for (const char* name : {"CelticMusic.mp3", "Exhibition_hall.mp3", "readme.txt"})
            test::writeFile(folder + "/" + name, "x");
    }
    std::string file(const std::string& name) { return folder + "/" + name + ".mp3"; }

    test::TempFolder temp;
    std::string folder = temp / "BGM";
    FakeAudioPlayer player;
    BgmPreview preview{player, folder};
};

TEST_F(BgmPreviewTest, OnePreviewAtATime) {
    preview.togglePreview(kHall, "Exhibition_hall", 0.5);
    EXPECT_EQ(player.playing, file("Exhibition_hall"));
    EXPECT_EQ(player.volume, 0.5);
    EXPECT_TRUE(preview.isPlaying(kHall));
    EXPECT_EQ(preview.buttonTitle(kHall), "stop");

    preview.togglePreview(kShowroom, "CelticMusic", 0.25);
    EXPECT_EQ(player.playing, file("CelticMusic"));
    EXPECT_FALSE(preview.isPlaying(kHall));
    EXPECT_EQ(preview.buttonTitle(kHall), "play");
    EXPECT_EQ(preview.buttonTitle(kShowroom), "stop");

    // The hall's volume no longer reaches the player; the showroom's does.
    preview.volumeChanged(kHall, 1.0);
    EXPECT_EQ(player.volume, 0.25);
    preview.volumeChanged(kShowroom, 0.1);
    EXPECT_EQ(player.volume, static_cast<float>(0.1));

    preview.togglePreview(kShowroom, "CelticMusic", 0.1);
    EXPECT_TRUE(player.playing.empty());
    EXPECT_EQ(preview.buttonTitle(kShowroom), "play");
}

TEST_F(BgmPreviewTest, UnplayableChoiceStopsTheOtherChannelAndReadsStop) {
    preview.togglePreview(kHall, "Exhibition_hall", 0.5);
    preview.togglePreview(kShowroom, "readme", 0.5); // readme.mp3 does not exist
    EXPECT_TRUE(player.playing.empty());
    EXPECT_EQ(preview.buttonTitle(kShowroom), "stop");
    EXPECT_EQ(preview.buttonTitle(kHall), "play");
    EXPECT_EQ(player.played.size(), 1u);

    preview.togglePreview(kHall, std::nullopt, 0.5); // nothing selected: nothing happens
    EXPECT_EQ(preview.buttonTitle(kHall), "play");
    EXPECT_TRUE(player.playing.empty());
}

TEST_F(BgmPreviewTest, SelectionChangeRestartsOnlyAPlayingChannel) {
    preview.selectionChanged(kHall, "CelticMusic", 0.5);
    EXPECT_TRUE(player.played.empty());

    preview.togglePreview(kHall, "Exhibition_hall", 0.5);
    preview.selectionChanged(kHall, "CelticMusic", 0.75);
    EXPECT_EQ(player.playing, file("CelticMusic"));
    EXPECT_EQ(player.volume, 0.75);
    EXPECT_EQ(player.played.size(), 2u);
    preview.selectionChanged(kShowroom, "Exhibition_hall", 0.5);
    EXPECT_EQ(player.playing, file("CelticMusic"));
}

TEST_F(BgmPreviewTest, ClosingTheEditorStopsThePreview) {
    {
        BgmPreview editorPreview(player, folder);
        editorPreview.togglePreview(kShowroom, "CelticMusic", 0.5);
        EXPECT_TRUE(player.isPlaying());
    }
    EXPECT_FALSE(player.isPlaying());
}

} // namespace
} // namespace dravik
