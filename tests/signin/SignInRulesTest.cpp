#include "signin/SignInRules.h"

#include "common/LauncherSettings.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

QZ_VERSION version(const std::string& text) {
    QZ_VERSION v;
    v.version = text;
    return v;
}

TEST(SignInRulesTest, StartInputsInOrder) {
    struct Case {
        const char* code;
        const char* email;
        const char* problem;
    };
    const Case cases[] = {
        {"", "", "msg2"},
        {"1234-5678-9012", "", "msg4"}, // dashes do not count
        {"123456789012", "a@b.jp", ""},
        {"12345678901", "a@b.jp", "msg3"},          // eleven digits
        {"abcdefghijkl", "a@b.jp", ""},             // only the length counts
        {"１２３４５６７８９０１２", "a@b.jp", ""}, // twelve characters, not bytes
        {"1234-5678-90123", "a@b.jp", "msg3"},
        {"------------", "a@b.jp", "msg3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startInputProblem(c.code, c.email), c.problem) << c.code << " " << c.email;
}

TEST(SignInRulesTest, VersionLabel) {
    EXPECT_EQ(versionLabelText(version("1.2.3.4"), std::nullopt), "Kestrane Ver 1.2.3.4");
    EXPECT_EQ(versionLabelText(version("1.2.9.0"), version("1.2.10.0")),
              "Kestrane Ver 1.2.9.0(最新 1.2.10.0)");
    EXPECT_EQ(versionLabelText(version("1.2.10"), version("1.2.9")), "Kestrane Ver 1.2.10");
    EXPECT_EQ(versionLabelText(version("0.0.0"), version("9.0")), ""); // unknown installed
    EXPECT_EQ(versionLabelText(std::nullopt, version("9.0")), "");
    EXPECT_FALSE(offersUpdate(version("0"), version("1.0")));
    EXPECT_TRUE(offersUpdate(version("1.0"), version("1.0.0.1")));
}

TEST(SignInRulesTest, FinishRoute) {
    struct Case {
        const char* update; // launcher setting, nullptr for no Dravik.json
        const char* local;
        const char* remote;
        bool viewerInstalled;
        FinishRoute route;
    };
    const Case cases[] = {
        {nullptr, "1.0.0.0", "1.0.1.0", true, FinishRoute::Update},
        {"off", "1.0.0.0", "1.0.1.0", true, FinishRoute::Download}, // no automatic update
        {"OFF", "0.0.0", "1.0.1.0", true, FinishRoute::Update},     // unknown: checked anyway
        {"ON", "-.-.-.-", "-.-.-.-", false, FinishRoute::Update},   // never installed
        {"ON", "1.0.1.0", "1.0.1.0", false, FinishRoute::NoViewer},
        {"ON", "1.0.1.0", "1.0.0.0", true, FinishRoute::Download},
        {"ON", "1.0.0.0", nullptr, true, FinishRoute::Download}, // nothing published
    };
    for (const auto& c : cases) {
        test::TestLauncher t;
        if (c.update)
            LauncherSettings(*t.launcher).writeLauncherSetting("update", c.update);
        t.launcher->localVersion = version(c.local);
        if (c.remote)
            t.launcher->remoteVersion = version(c.remote);
        if (c.viewerInstalled)
            test::writeFile(t.exhibition("Kestrane.app/Contents/MacOS/Kestrane"), "");
        EXPECT_EQ(decideFinish(*t.launcher), c.route)
            << c.local << " " << (c.remote ? c.remote : "");
    }
}

TEST(SignInRulesTest, SplashAndEntryLink) {
    test::TestLauncher t;
    Launcher& launcher = *t.launcher;
    EXPECT_EQ(splashImagePath(launcher), ""); // the built-in image
    test::writeFile(t.exhibition("splash.gif"), "gif");
    EXPECT_EQ(splashImagePath(launcher), t.exhibition("splash.gif"));
    LauncherSettings(launcher).writeLauncherSetting("Splash_file", "mine.png");
    EXPECT_EQ(splashImagePath(launcher), "");
    test::writeFile(t.exhibition("logo.png"), "png");
    EXPECT_EQ(splashImagePath(launcher), t.exhibition("logo.png"));
    test::writeFile(t.exhibition("logo.gif"), "gif");
    EXPECT_EQ(splashImagePath(launcher), t.exhibition("logo.gif"));

    EXPECT_EQ(entryUrl(launcher), "");
    launcher.remoteVersion = version("1.0");
    launcher.remoteVersion->entry_url = "https://example.com/entry";
    EXPECT_EQ(entryUrl(launcher), "https://example.com/entry");
    LauncherSettings(launcher).writeLauncherSetting("entry_url", "https://example.com/own");
    EXPECT_EQ(entryUrl(launcher), "https://example.com/own");
}

} // namespace
} // namespace dravik
