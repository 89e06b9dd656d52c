#include "signin/ui/ViewControllerDravik.h"

#include "support/qt/ServiceWindow.h"
#include "ui_ViewControllerDravik.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dravik {
namespace {

using test::waitUntil;
using ::testing::Contains;

// A sign-in window over the substitute service. Destinations of the sign-in are stand-ins that
// record which one was reached.
class SignInTest : public ::testing::Test, protected test::ServiceWindow {
protected:
    void SetUp() override {
        ASSERT_EQ(startService(), "");
        for (const char* name : {"DravikToUpdate", "DravikToDownload", "EditParameterSegue"}) {
            auto presentation = std::string(name) == "EditParameterSegue"
                                    ? Storyboard::Presentation::Sheet
                                    : Storyboard::Presentation::ReplaceView;
            storyboard.add(name, presentation, [this, name](Launcher&, WindowController&) {
                reached.push_back(name);
                auto* view = new QWidget;
                view->setObjectName(name);
                return view;
            });
        }
    }

    void TearDown() override {
        if (window) {
            ui->launcher->closeBlocked = false;
            window->close();
        }
        window.reset();
        ui.reset();
    }

    // Installs a version record whose file_url points at the service's release folder.
    void installVersion(const std::string& version) {
        test::writeFile(ui->exhibition("version_mac.json"),
                        "{\"version\":\"" + version + "\",\"file_url\":\"" +
                            service.url("/release/Release.7z") + "\"}");
    }

    void installViewer() {
        test::writeFile(ui->exhibition("Kestrane.app/Contents/MacOS/Kestrane"), "");
    }

    ViewControllerDravik* open() {
        window = std::make_unique<WindowController>(*ui->launcher, storyboard);
        auto* view = new ViewControllerDravik(*ui->launcher, *window);
        loaded = false;
        QObject::connect(view, &ViewControllerDravik::remoteVersionLoaded,
                         [this] { loaded = true; });
        window->setContentViewController(view);
        window->show();
        EXPECT_TRUE(waitUntil([this] { return loaded; }));
        return view;
    }

    void type(ViewControllerDravik* view, const QString& code, const QString& email) {
        view->ui().textInviteCode->setText(code);
        view->ui().textEmail->setText(email);
        view->buttonStartClick();
    }

    std::vector<std::string> alerts() const { return ui->alerts.texts(); }

    std::vector<std::string> reached;
    bool loaded = false;
};

TEST_F(SignInTest, InputChecksInOrder) {
    installVersion("1.0.1");
    ViewControllerDravik* view = open();
    struct Case {
        QString code;
        QString email;
        std::string message;
    };
    const Case cases[] = {
        {"", "a@b.jp", "展示会招待コードを入力して下さい"},
        {"\u3000 \t", "a@b.jp", "展示会招待コードを入力して下さい"},
        {"1234-5678-901", "a@b.jp", "招待コードは数字12桁です。\n再入力して下さい。"},
        {"1234-5678-9012", "\u3000", "登録メールアドレスを入力して下さい"},
    };
    for (const auto& c : cases) {
        type(view, c.code, c.email);
        ASSERT_FALSE(alerts().empty());
        EXPECT_EQ(alerts().back(), c.message);
        EXPECT_TRUE(view->ui().textInviteCode->isEnabled());
    }
    EXPECT_EQ(view->ui().textEmail->text(), ""); // trimmed text written back
    EXPECT_TRUE(reached.empty());
}

TEST_F(SignInTest, VersionLabelAndUpdateOffer) {
    installVersion("1.0.0.9");
    ViewControllerDravik* view = open();
    EXPECT_EQ(view->ui().label_qz_version->text().toStdString(),
              "Kestrane Ver 1.0.0.9(最新 1.0.1)");
    EXPECT_TRUE(view->ui().checkBox_update->isVisibleTo(view));
    EXPECT_TRUE(view->ui().checkBox_update->isChecked());
    EXPECT_EQ(window->windowTitle(), "Dravik Ver 1.0.0.7");
    EXPECT_THAT(ui->logLines(), Contains("Dravik.viewDidLoad"));
    EXPECT_THAT(ui->logLines(), Contains("Dravik.viewDidAppear"));
}

TEST_F(SignInTest, SignInReachesTheDownloadView) {
    installVersion("1.0.1");
    installViewer();
    ViewControllerDravik* view = open();
    QMenu* settings = window->menuBar()->addMenu("設定");
    QAction* editor = settings->addAction("操作パラメータ");
    QAction* reset = settings->addAction("リセット");
    EXPECT_FALSE(view->ui().checkBox_update->isVisibleTo(view));
    type(view, " 1111-2222-3333\u3000", "guest+vr@example.com");
    EXPECT_FALSE(view->ui().buttonStart->isEnabled());
    view->buttonStartClick(); // ignored while the worker runs
    ASSERT_TRUE(waitUntil([this] { return !reached.empty(); }));
    EXPECT_EQ(reached, (std::vector<std::string>{"DravikToDownload"}));
    EXPECT_TRUE(alerts().empty()) << alerts().front();
    // The editor's item is gone for this process; the reset stays reachable.
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(reset->isEnabled());
    EXPECT_EQ(ui->launcher->invitedExhibitionId, 1);
    EXPECT_EQ(ui->launcher->invitedHallId, 10);
    std::string user = test::readFile(ui->exhibition("user.json"));
    EXPECT_NE(user.find("1111-2222-3333"), std::string::npos); // kept with its dashes
    EXPECT_NE(user.find("guest+vr@example.com"), std::string::npos);
}

TEST_F(SignInTest, FinishGoesToTheUpdateWhenANewerReleaseIsPublished) {
    installVersion("1.0.0");
    installViewer();
    ViewControllerDravik* view = open();
    type(view, "111122223333", "visitor@example.com");
    ASSERT_TRUE(waitUntil([this] { return !reached.empty(); }));
    EXPECT_EQ(reached, (std::vector<std::string>{"DravikToUpdate"}));
}

TEST_F(SignInTest, FinishEndsWhenTheViewerIsMissing) {
    installVersion("1.0.1");
    ViewControllerDravik* view = open();
    type(view, "111122223333", "visitor@example.com");
    ASSERT_TRUE(waitUntil([this] { return ui->exits > 0; }));
    EXPECT_EQ(alerts(),
              (std::vector<std::string>{"Can't start because there is no Kestrane file."}));
    EXPECT_TRUE(reached.empty());
}

TEST_F(SignInTest, FailuresComeBackAsAlerts) {
    installVersion("1.0.1");
    installViewer();
    ViewControllerDravik* view = open();
    struct Case {
        const char* code;
        const char* email;
        std::string alert;
    };
    const Case cases[] = {
        {"1406-0000-0000", "visitor@example.com",
         "招待コードが利用できません\n\n招待コードが見つからない(1406)\ninvitation code not found"},
        {"150000000000", "visitor@example.com",
         "招待コードが利用できません\n\n(1500)\ninternal error"},
        {"111122223333", "nobody@example.com", "メールアドレスが登録されていません"},
    };
    for (const auto& c : cases) {
        type(view, c.code, c.email);
        ASSERT_TRUE(waitUntil([&] { return view->ui().buttonStart->isEnabled(); }));
        ASSERT_FALSE(alerts().empty());
        EXPECT_EQ(alerts().back(), c.alert);
        EXPECT_TRUE(view->ui().textEmail->isEnabled());
    }
    EXPECT_TRUE(reached.empty());
}

TEST_F(SignInTest, CancelAfterAFailedSignInGoesOnWithoutIt) {
    installVersion("1.0.1");
    installViewer();
    ViewControllerDravik* view = open();
    service.service().setFault("/exhibition/api/v1/auth", [] {
        substitute::Fault fault;
        fault.status = 503;
        fault.body = R"({"error":{"code":"BUSY","message":"try later"}})";
        return fault;
    }());
    ui->alerts.answerNext(true); // OK: back to the inputs
    type(view, "111122223333", "visitor@example.com");
    ASSERT_TRUE(waitUntil([&] { return view->ui().buttonStart->isEnabled(); }));
    EXPECT_EQ(alerts().back(), "認証に失敗しました\n\n503(BUSY)");

    ui->alerts.answerNext(false); // Cancel: on to the data sync without a sign-in
    type(view, "111122223333", "visitor@example.com");
    ASSERT_TRUE(waitUntil([this] { return !reached.empty(); }));
    EXPECT_EQ(reached, (std::vector<std::string>{"DravikToDownload"}));
    EXPECT_FALSE(ui->launcher->authRecord.has_value());
    EXPECT_FALSE(view->ui().buttonStart->isEnabled());
}

TEST_F(SignInTest, NeverInstalledViewerHasNoCancelAndNoEditor) {
    // No version file: the built-in record "-.-.-.-".
    ViewControllerDravik* view = open();
    EXPECT_EQ(view->ui().label_qz_version->text(), "Kestrane Ver -.-.-.-");
    view->buttonParameterClick();
    EXPECT_EQ(alerts().back(), "初回は設定できません");

    service.service().stop();
    type(view, "111122223333", "visitor@example.com");
    ASSERT_TRUE(waitUntil([&] { return view->ui().buttonStart->isEnabled(); }));
    EXPECT_EQ(alerts().back().rfind("認証に失敗しました\n\n", 0), 0u) << alerts().back();
    EXPECT_TRUE(reached.empty());
}

TEST_F(SignInTest, AfterAResetStartAsksForThePublishedRecordOffTheMainThread) {
    installVersion("0.0.0");
    ViewControllerDravik* view = open();
    service.service().stop();
    type(view, "111122223333", "visitor@example.com");
    // The request runs on a worker: the window keeps answering meanwhile.
    EXPECT_TRUE(alerts().empty());
    EXPECT_FALSE(view->ui().buttonStart->isEnabled());
    ASSERT_TRUE(waitUntil([this] { return !alerts().empty(); }));
    EXPECT_EQ(alerts().back(), "インターネット接続を確認して下さい。(msg21)");
    EXPECT_TRUE(view->ui().buttonStart->isEnabled());
    EXPECT_TRUE(reached.empty());
}

TEST_F(SignInTest, SettingsAreOffWhileTheSignInWorkerRuns) {
    installVersion("1.0.1");
    ViewControllerDravik* view = open();
    QMenu* settings = window->menuBar()->addMenu("設定");
    settings->addAction("操作パラメータ");
    settings->addAction("リセット");
    auto enabled = [&] {
        std::vector<bool> states{view->ui().buttonParameter->isEnabled()};
        for (QAction* action : settings->actions())
            states.push_back(action->isEnabled());
        return states;
    };
    type(view, "1406-0000-0000", "visitor@example.com");
    EXPECT_EQ(enabled(), std::vector<bool>(3, false));
    ASSERT_TRUE(waitUntil([&] { return view->ui().buttonStart->isEnabled(); }));
    EXPECT_EQ(enabled(), std::vector<bool>(3, true));
}

} // namespace
} // namespace dravik
