#include "reset/ResetActions.h"

#include "reset/Installation.h"
#include "support/Fakes.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using test::Installation;
using test::LockedFolder;
using test::Outcome;
using test::TestLauncher;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class ResetActionsTest : public ::testing::Test {
protected:
    TestLauncher t;
    Installation installation{t.exhibition()};
    ResetActions actions{*t.launcher};
};

TEST_F(ResetActionsTest, ReportsFailuresWithTheirPrefix) {
    const std::string corrupt = "{\"rotateSpeed_mouse\": ";
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<void(const ResetActions&)> act;
        std::string report; // start of the single alert, empty for none
        std::function<void()> check;
    };
    auto cacheStep = [](const ResetActions& a) {
        a.deleteCacheData();
    };
    auto codeStep = [](const ResetActions& a) {
        a.clearStoredInviteCode();
    };
    auto parameters = [&] {
        return test::readFile(installation.path("FPSControllerParameter.json"));
    };
    auto freshUser = [&] {
        EXPECT_EQ(installation.json("user.json"),
                  nlohmann::ordered_json::parse(R"({"invitecode": "", "email": ""})"));
    };
    const Case cases[] = {
        {"parameter file not JSON",
         [&] { test::writeFile(installation.path("FPSControllerParameter.json"), corrupt); },
         cacheStep, "<Delete cache>not JSON",
         [&] {
             EXPECT_FALSE(installation.has("ExhibitionData"));
             EXPECT_EQ(parameters(), corrupt);
         }},
        {"parameter file holds an array",
         [&] { test::writeFile(installation.path("FPSControllerParameter.json"), "[1]"); },
         cacheStep, "<Delete cache>not a JSON object",
         [&] {
             EXPECT_EQ(parameters(), "[1]");
         }},
        {"parameter file is a folder",
         [&] {
             fs::remove(installation.path("FPSControllerParameter.json"));
             fs::create_directories(installation.path("FPSControllerParameter.json/x"));
         },
         cacheStep, "<Delete cache>" + std::string(std::strerror(EISDIR)),
         [&] {
             EXPECT_TRUE(installation.has("FPSControllerParameter.json/x"));
         }},
        {"user.json not JSON",
         [&] { test::writeFile(installation.path("user.json"), "{\"email\": \"a@b\""); }, codeStep,
         "", freshUser},
        {"user.json holds an array",
         [&] { test::writeFile(installation.path("user.json"), R"(["a@b"])"); }, codeStep, "",
         freshUser},
        {"user.json is a folder",
         [&] {
             fs::remove(installation.path("user.json"));
             fs::create_directories(installation.path("user.json"));
         },
         codeStep, "<Delete invitecode>" + std::string(std::strerror(EISDIR)),
         [&] {
             EXPECT_TRUE(fs::is_directory(installation.path("user.json")));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installation.create();
        c.arrange();
        auto alertsBefore = t.alerts.texts().size();
        auto logBefore = t.logLines().size();

        c.act(actions);

        auto alerts = t.alerts.texts();
        alerts.erase(alerts.begin(), alerts.begin() + alertsBefore);
        auto log = t.logLines();
        log.erase(log.begin(), log.begin() + logBefore);
        if (c.report.empty()) {
            EXPECT_THAT(alerts, IsEmpty());
        } else {
            EXPECT_THAT(alerts, ElementsAre(StartsWith(c.report)));
            EXPECT_EQ(log, alerts);
        }
        c.check();
        fs::remove_all(installation.path("FPSControllerParameter.json"));
        fs::remove_all(installation.path("user.json"));
    }
}

TEST_F(ResetActionsTest, AFolderThatCannotBeRemovedStopsItsStep) {
    installation.create();
    {
        LockedFolder locked(t.temp.path(), installation.path("Kestrane_Data/Resources"));
        if (!locked.effective())
            GTEST_SKIP() << "no way to make a folder unremovable here";
        locked.run([&] { actions.deleteInstalledViewer(); });
    }
    std::string denied = "<Delete app>" + std::string(std::strerror(EACCES));
    EXPECT_THAT(t.alerts.texts(), ElementsAre(denied));
    EXPECT_THAT(t.logLines(), ElementsAre(denied));
    for (const char* gone : {"BGM", "Lobby", "MonoBleedingEdge"})
        EXPECT_FALSE(installation.has(gone)) << gone;
    for (const char* kept : {"Kestrane_Data/Resources/data.bin",
                             "Kestrane.app/Contents/MacOS/Kestrane", "APILog.txt", "BoothLog.txt"})
        EXPECT_TRUE(installation.has(kept)) << kept;
    EXPECT_EQ(installation.version(), "1.2.3");

    // The cache folder the same way: the parameter file is then left alone.
    {
        LockedFolder locked(t.temp.path(), installation.path("ExhibitionData/exhibition1_hall2"));
        locked.run([&] { actions.deleteCacheData(); });
    }
    EXPECT_EQ(t.alerts.texts().back(), "<Delete cache>" + std::string(std::strerror(EACCES)));
    EXPECT_EQ(installation.json("FPSControllerParameter.json")["prevDownloadTime"],
              nlohmann::ordered_json::array({1700000000}));
}

TEST_F(ResetActionsTest, EveryStepRunsAfterAnEarlierFailure) {
    installation.create();
    test::writeFile(installation.path("FPSControllerParameter.json"), "not json");
    actions.run({true, true, true, true, true, true});
    EXPECT_THAT(t.alerts.texts(),
                ElementsAre(StartsWith("<Reset parameter>"), StartsWith("<Delete cache>")));
    EXPECT_EQ(installation.observe(),
              (Outcome{.cache = true, .email = true, .inviteCode = true, .viewer = true}));
}

TEST_F(ResetActionsTest, MissingItemsAreSkippedSilently) {
    fs::remove_all(t.exhibition());
    actions.run(
        {.deleteCache = true, .deleteEmail = true, .deleteInviteCode = true, .deleteApp = true});
    EXPECT_THAT(t.alerts.texts(), IsEmpty());
    // Only the invitation code leaves a file behind: the stored visitor with both fields empty.
    EXPECT_EQ(installation.json("user.json"),
              nlohmann::ordered_json::parse(R"({"invitecode": "", "email": ""})"));
    EXPECT_FALSE(installation.has("version_mac.json"));
    EXPECT_FALSE(installation.has("FPSControllerParameter.json"));
}

// An empty base folder resolves against the working folder and "/" is the whole disk: nothing is
// removed from either.
TEST_F(ResetActionsTest, RefusesToRemoveOutsideAnInstallation) {
    installation.create();
    fs::create_directory_symlink("/", t.temp / "root-link");
    const std::string bases[] = {"", "/", "//", "/tmp/..", t.temp / "root-link", "relative/base"};
    auto previous = fs::current_path();
    fs::current_path(t.base()); // where an empty base folder would point
    for (const std::string& base : bases) {
        SCOPED_TRACE("base folder \"" + base + "\"");
        TestLauncher each;
        each.launcher->baseFolder = base;
        ResetActions refused(*each.launcher);
        refused.deleteCacheData();
        refused.deleteInstalledViewer();
        EXPECT_THAT(each.alerts.texts(), ElementsAre(StartsWith("<Delete cache>refused"),
                                                     StartsWith("<Delete app>refused")));
    }
    fs::current_path(previous);
    EXPECT_EQ(installation.observe(), Outcome{});
    EXPECT_TRUE(ResetActions::checkRemovalBase(t.base()).isOk());
}

} // namespace
} // namespace dravik
