#include "parameters/BgmList.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class BgmListTest : public ::testing::Test {
protected:
    std::string folder() { return BgmList::folder(*t.launcher); }
    void add(const std::string& name) { test::writeFile(folder() + "/" + name, "x"); }

    test::TestLauncher t;
};

TEST_F(BgmListTest, EveryEntrySortedWithoutItsLastExtension) {
    add("readme.txt");
    add("Exhibition_hall.mp3");
    add("CelticMusic.mp3");
    add("a.b.mp3");
    add(".DS_Store");
    fs::create_directories(folder() + "/Old.d");
    BgmList list(folder());
    EXPECT_EQ(list.names(),
              (Names{".DS_Store", "CelticMusic", "Exhibition_hall", "Old", "a.b", "readme"}));
}

TEST_F(BgmListTest, SelectionOfTheStoredName) {
    add("CelticMusic.mp3");
    add("Exhibition_hall.mp3");
    add("Exhibition_hall.wav");
    BgmList list(folder());
    struct Case {
        std::string stored;
        int selected;
    };
    const Case cases[] = {
        {"celticmusic", 0}, {"Exhibition_hall", 1}, {"EXHIBITION_HALL", 1}, {"Missing", 0}, {"", 0},
    };
    for (const auto& c : cases) {
        BgmChoice choice = list.choice(c.stored);
        EXPECT_EQ(choice.items, (Names{"CelticMusic", "Exhibition_hall", "Exhibition_hall"}));
        EXPECT_EQ(choice.selected, c.selected) << c.stored;
        EXPECT_TRUE(choice.playEnabled);
    }
}

TEST_F(BgmListTest, MissingEmptyOrUnlistableFolder) {
    auto check = [&](const char* what) {
        SCOPED_TRACE(what);
        BgmList list(folder());
        EXPECT_TRUE(list.names().empty());
        BgmChoice stored = list.choice("CelticMusic");
        EXPECT_EQ(stored.items, Names{"CelticMusic"});
        EXPECT_EQ(stored.selected, 0);
        EXPECT_FALSE(stored.playEnabled);
        BgmChoice none = list.choice("");
        EXPECT_TRUE(none.items.empty());
        EXPECT_EQ(none.selected, -1);
    };
    check("missing");
    fs::create_directories(folder());
    check("empty");
    fs::remove(folder());
    test::writeFile(folder(), "a file");
    check("a file");
}

TEST(BgmListNames, LastExtension) {
    const std::pair<const char*, const char*> cases[] = {{"Exhibition_hall.mp3", "Exhibition_hall"},
                                                         {"a.b.mp3", "a.b"},
                                                         {"noext", "noext"},
                                                         {".hidden", ".hidden"},
                                                         {".hidden.mp3", ".hidden"}};
    for (const auto& [name, shown] : cases)
        EXPECT_EQ(BgmList::removeLastExtension(name), shown);
}

} // namespace
} // namespace dravik
