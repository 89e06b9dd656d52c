#include "reset/ui/ViewControllerReset.h"

#include "app/Storyboard.h"
#include "app/WindowController.h"
#include "reset/Installation.h"
#include "support/qt/UiTesting.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <cstring>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using test::child;
using test::Installation;
using test::LockedFolder;
using test::Outcome;
using test::UiLauncher;
using test::waitUntil;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The main window with a sign-in stand-in, and the reset sheet opened over it as an opener does.
struct Opened {
    explicit Opened(bool resetParameter = true) {
        storyboard.add("ResetSegue", Storyboard::Presentation::Sheet,
                       [](Launcher& launcher, WindowController& window) -> QWidget* {
                           return new ViewControllerReset(launcher, window);
                       });
        window = std::make_unique<WindowController>(*ui.launcher, storyboard);
        auto* content = new QWidget;
        content->setMinimumSize(900, 700);
        window->setContentViewController(content);
        window->move(60, 40);
        window->show();
        window->performSegue("ResetSegue", [&](QWidget* destination) {
            auto* sheet = dynamic_cast<SheetViewController*>(destination);
            sheet->setParentWindow(window.get());
            sheet->setResetParameter(resetParameter);
            sheet->setResultHandler([this] {
                atHandler = installation.observe();
                visibleAtHandler = view->isVisible();
                ++handled;
            });
        });
        view = qobject_cast<ViewControllerReset*>(window->currentSheet());
    }

    QCheckBox* box(const char* name) { return child<QCheckBox>(view, name); }
    void press(const char* button) { child<QPushButton>(view, button)->click(); }
    bool closed() {
        return waitUntil([&] { return window->currentSheet() == nullptr; });
    }

    UiLauncher ui;
    Installation installation{ui.exhibition()};
    Storyboard storyboard;
    std::unique_ptr<WindowController> window;
    QPointer<ViewControllerReset> view;
    int handled = 0;
    Outcome atHandler;
    bool visibleAtHandler = false;
};

TEST(ViewControllerResetTest, OpensCentredWithItsCaptionsAndNothingChecked) {
    Opened opened;
    ASSERT_TRUE(opened.view);
    QWidget* sheet = opened.view->window();
    ASSERT_NE(sheet, opened.view.data());
    EXPECT_EQ(sheet->windowTitle(), "リセット");
    EXPECT_TRUE(sheet->isModal());
    const std::pair<const char*, const char*> captions[] = {
        {"checkBox_resetParameter", "各種設定値を規定値に戻す"},
        {"checkBox_deleteCache", "会場キャッシュデータを削除"},
        {"checkBox_deleteEmail", "表示されているメールアドレスを削除"},
        {"checkBox_deleteInviteCode", "表示されている招待コードを削除"},
        {"checkBox_deleteApp", "再配布用に本体アプリを削除（最新版の再ダウンロード）"},
    };
    for (const auto& [name, caption] : captions) {
        EXPECT_EQ(opened.box(name)->text(), QString(caption)) << name;
        EXPECT_FALSE(opened.box(name)->isChecked()) << name;
    }
    EXPECT_EQ(child<QLabel>(opened.view, "textBox_description")->text(),
              "※すべてをリセットしてから再配布する事ができます。");

    // Not resizable, and centred on the larger main window after every layout pass.
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); }));
    EXPECT_EQ(sheet->minimumSize(), sheet->maximumSize());
    auto centred = [&] {
        QPoint offset = sheet->frameGeometry().center() - opened.window->frameGeometry().center();
        return offset.manhattanLength() <= 2;
    };
    EXPECT_TRUE(waitUntil(centred));
    // Moved and widened, yet still on the (800-pixel) offscreen screen.
    opened.window->move(0, 0);
    const int before = sheet->width();
    opened.box("checkBox_deleteApp")->setText(QString(40, QChar(0x3042))); // a wider caption
    EXPECT_TRUE(waitUntil([&] { return centred() && sheet->width() > before; }));
}

TEST(ViewControllerResetTest, OkRunsTheCheckedStepsThenTheHandlerAndCloses) {
    struct Case {
        const char* name;
        std::vector<const char*> boxes;
        bool resetParameter;
        Outcome expected;
    };
    const std::vector<const char*> all = {"checkBox_resetParameter", "checkBox_deleteCache",
                                          "checkBox_deleteEmail", "checkBox_deleteInviteCode",
                                          "checkBox_deleteApp"};
    const Case cases[] = {
        {"nothing checked", {}, true, {}},
        {"parameters",
         {"checkBox_resetParameter"},
         true,
         {.parameters = true, .prevDownloadTime = true}},
        {"parameters, opened from the editor", {"checkBox_resetParameter"}, false, {}},
        {"cache", {"checkBox_deleteCache"}, true, {.cache = true, .prevDownloadTime = true}},
        {"e-mail", {"checkBox_deleteEmail"}, true, {.email = true}},
        {"invitation code keeps the e-mail",
         {"checkBox_deleteInviteCode"},
         true,
         {.inviteCode = true}},
        {"e-mail and invitation code",
         {"checkBox_deleteEmail", "checkBox_deleteInviteCode"},
         true,
         {.email = true, .inviteCode = true}},
        {"viewer", {"checkBox_deleteApp"}, true, {.viewer = true}},
        {"everything", all, true, {true, true, true, true, true, true}},
        {"everything from the editor", all, false, {false, true, true, true, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Opened opened(c.resetParameter);
        opened.installation.create();
        for (const char* box : c.boxes)
            opened.box(box)->setChecked(true);
        opened.press("buttonOK");

        EXPECT_EQ(opened.handled, 1);
        EXPECT_TRUE(opened.visibleAtHandler);
        EXPECT_EQ(opened.atHandler, c.expected); // the steps ran before the handler
        EXPECT_TRUE(opened.closed());
        EXPECT_THAT(opened.ui.alerts.texts(), IsEmpty());
        if (!c.expected.email) {
            EXPECT_EQ(opened.installation.user("email"), "visitor@example.com");
        }
    }
}

TEST(ViewControllerResetTest, MixedBoxAndCancelChangeNothing) {
    Opened mixed;
    mixed.installation.create();
    mixed.box("checkBox_deleteApp")->setTristate(true);
    mixed.box("checkBox_deleteApp")->setCheckState(Qt::PartiallyChecked);
    mixed.press("buttonOK");
    EXPECT_EQ(mixed.handled, 1);
    EXPECT_EQ(mixed.installation.observe(), Outcome{});

    Opened cancelled;
    cancelled.installation.create();
    for (QCheckBox* box : cancelled.view->findChildren<QCheckBox*>())
        box->setChecked(true);
    cancelled.press("buttonCancel");
    EXPECT_TRUE(cancelled.closed());
    EXPECT_EQ(cancelled.handled, 0);
    EXPECT_EQ(cancelled.installation.observe(), Outcome{});
}

TEST(ViewControllerResetTest, CacheWithAndWithoutItsFolderAndParameterFile) {
    for (bool folder : {true, false}) {
        for (bool parameters : {true, false}) {
            SCOPED_TRACE(std::string(folder ? "cache folder" : "no cache folder") + ", " +
                         (parameters ? "parameter file" : "no parameter file"));
            Opened opened;
            opened.installation.create();
            if (!folder)
                fs::remove_all(opened.installation.path("ExhibitionData"));
            if (!parameters)
                fs::remove(opened.installation.path("FPSControllerParameter.json"));
            opened.box("checkBox_deleteCache")->setChecked(true);
            opened.press("buttonOK");
            EXPECT_THAT(opened.ui.alerts.texts(), IsEmpty());
            EXPECT_EQ(opened.installation.observe(),
                      (Outcome{.cache = true, .prevDownloadTime = parameters}));
            ASSERT_EQ(opened.installation.has("FPSControllerParameter.json"), parameters);
            if (parameters) { // every other key as it was
                EXPECT_EQ(opened.installation.json("FPSControllerParameter.json"),
                          nlohmann::ordered_json::parse(R"({"rotateSpeed_mouse": 99,
                              "prevDownloadTime": [], "viewerOwn": "keep"})"));
            }
            EXPECT_EQ(opened.handled, 1);
        }
    }
}

TEST(ViewControllerResetTest, ViewerDeletionStopsAtUnremovableData) {
    Opened opened;
    opened.installation.create();
    opened.box("checkBox_deleteApp")->setChecked(true);
    {
        LockedFolder locked(opened.ui.temp.path(),
                            opened.installation.path("Kestrane_Data/Resources"));
        if (!locked.effective())
            GTEST_SKIP() << "no way to make a folder unremovable here";
        locked.run([&] { opened.press("buttonOK"); });
    }
    std::string denied = "<Delete app>" + std::string(std::strerror(EACCES));
    EXPECT_THAT(opened.ui.alerts.texts(), ElementsAre(denied));
    const auto& in = opened.installation;
    for (const char* gone : {"BGM", "Lobby", "MonoBleedingEdge"})
        EXPECT_FALSE(in.has(gone)) << gone;
    for (const char* kept :
         {"Kestrane_Data", "Kestrane.app/Contents/MacOS/Kestrane", "APILog.txt", "BoothLog.txt"})
        EXPECT_TRUE(in.has(kept)) << kept;
    EXPECT_EQ(in.version(), "1.2.3");
    EXPECT_EQ(opened.handled, 1);
    EXPECT_TRUE(opened.closed());
}

} // namespace
} // namespace dravik
