#include "update/ui/ViewControllerUpdate.h"

#include "common/PartialDownload.h"
#include "common/VersionFile.h"
#include "service/ServiceClient.h"
#include "support/qt/ServiceWindow.h"
#include "update/ArchiveMaker.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <random>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

const std::string kArchivePath = "/release/Release_1.0.1.7z";
const std::string kViewer = "Exhibition/Kestrane.app/Contents/MacOS/Kestrane";

// The update view in a main window, over a base folder whose Exhibition folder holds the visitor's
// user.json, against the substitute service that publishes release 1.0.1.
class ViewControllerUpdateTest : public ::testing::Test, protected ServiceWindow {
protected:
    void SetUp() override {
        std::string release = service.data() + "/release";
        writeFile(release + "/version_mac.json", R"({
            "file_url": "{{base}})" + kArchivePath + R"(", "version": "1.0.1",
            "copy_files": ["Exhibition/version_mac.json", "Exhibition/NotInRelease.txt"],
            "copy_folders": ["Exhibition/Kestrane.app", "Dravik.app"]})");
        makeRelease(release + "/Release_1.0.1.7z");
        ASSERT_EQ(startService(), "");
        launcher().timings.pollInterval = std::chrono::milliseconds(5);
        fs::copy_file(kSystemExtractor, resources() + "/7zz");
        writeFile(ui->exhibition("user.json"), "visitor");
        addUpdateRoad(storyboard);
    }

    // One top-level folder holding the viewer and the installed record, plus incompressible
    // filler so that the download takes several progress reports when paced.
    void makeRelease(const std::string& archive) {
        std::string stage = staging.path() + "/Release_1.0.1";
        writeFile(stage + "/" + kViewer, "#!/bin/sh\n");
        fs::permissions(stage + "/" + kViewer, fs::perms::owner_read | fs::perms::owner_write);
        writeFile(stage + "/Exhibition/version_mac.json", R"({"version":"1.0.1"})");
        std::string filler(1 << 20, '\0');
        std::mt19937 random(7);
        std::generate(filler.begin(), filler.end(), [&] { return static_cast<char>(random()); });
        writeFile(stage + "/Exhibition/Kestrane.app/Contents/Resources/filler.bin", filler);
        ASSERT_TRUE(makeArchive(archive, {stage}));
    }

    // The viewer was never installed: the built-in record names the service's release folder.
    void loadVersionsAsAtFirstStart() {
        writeFile(resources() + "/version_mac.json",
                  R"({"version":"-.-.-.-","file_url":")" + service.url(kArchivePath) + R"("})");
        launcher().localVersion = VersionFile(launcher()).loadLocalVersion();
        ASSERT_TRUE(launcher().localVersion);
        launcher().remoteVersion = std::async(std::launch::async, [this] {
                                       return ServiceClient(launcher()).fetchRemoteVersion();
                                   }).get();
        ASSERT_TRUE(launcher().remoteVersion);
    }

    void openView() {
        window = std::make_unique<WindowController>(launcher(), storyboard);
        ASSERT_TRUE(window->performSegue("DravikToUpdate"));
        view = qobject_cast<ViewControllerUpdate*>(window->contentViewController());
        ASSERT_NE(view, nullptr);
        QObject::connect(bar(), &QProgressBar::valueChanged,
                         [this](int value) { barValues.push_back(value); });
        window->show();
    }

    Launcher& launcher() { return *ui->launcher; }
    std::string resources() { return launcher().platform.bundle.resourcesPath; }
    QLabel* label(const char* name) { return child<QLabel>(view, name); }
    std::string text(const char* name) { return label(name)->text().toStdString(); }
    QPushButton* button(const char* name) { return child<QPushButton>(view, name); }
    QProgressBar* bar() { return child<QProgressBar>(view, "progress"); }
    bool alerted(const std::string& text) {
        auto texts = ui->alerts.texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    bool showsDownloadView() { return window->contentViewController()->objectName() == "Download"; }
    bool parked() { return fs::exists(ui->base() + "/$Exhibition"); }

    void expectExhibitionInPlace() {
        EXPECT_FALSE(parked());
        EXPECT_EQ(readFile(ui->exhibition("user.json")), "visitor");
    }
    // Neither the archive nor the extract folder nor a transfer's temporary file is left; an
    // archive cut short stays only where it is kept for the next update to continue.
    void expectPrivateFolderClean(bool partialKept = false) {
        for (const auto& entry : fs::directory_iterator(ui->privateFolder())) {
            std::string name = entry.path().filename();
            EXPECT_TRUE(name == "Dravik_log.txt" || name == "version_mac.json" ||
                        (partialKept && PartialDownload::isPartialName(name)))
                << name;
        }
    }

    TempFolder staging;
    ViewControllerUpdate* view = nullptr;
    std::vector<int> barValues;
};

TEST_F(ViewControllerUpdateTest, LoadShowsWhatTheInstalledRecordAsksAndCancelFollowsIt) {
    struct Case {
        const char* installed;
        const char* headline;
        const char* confirm;
        bool rowsShown;
        const char* okTitle;
        bool cancelEnabled;
        bool cancelQuits;
    };
    const Case cases[] = {
        {"-.-.-.-", "初回は更新が必要です", "更新して下さい", true, "更新する", false, false},
        {"1.0.0", "新しいバージョンがあります", "更新しますか？", true, "更新する", true, false},
        {"0.0.0", "バーチャル展示アプリの本体をダウンロードします。(msg20)", "", false, "OK", true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed);
        launcher().localVersion = QZ_VERSION{};
        launcher().localVersion->version = c.installed;
        launcher().remoteVersion = QZ_VERSION{};
        launcher().remoteVersion->version = "1.0.1";
        ui->exits = 0;
        openView();

        EXPECT_EQ(text("label_update_msg"), c.headline);
        EXPECT_EQ(text("label_update_confirm"), c.confirm);
        EXPECT_EQ(text("label_now_version_title"), "現在のバージョン");
        EXPECT_EQ(text("label_new_version_title"), "新しいバージョン");
        EXPECT_EQ(text("label_now_version"), c.installed);
        EXPECT_EQ(text("label_new_version"), "1.0.1");
        for (QWidget* row : {label("label_now_version_title"), label("label_new_version")})
            EXPECT_EQ(row->isVisibleTo(view), c.rowsShown);
        EXPECT_EQ(button("buttonOK")->text().toStdString(), c.okTitle);
        EXPECT_EQ(button("buttonCancel")->isEnabled(), c.cancelEnabled);
        EXPECT_EQ(bar()->value(), 0);
        EXPECT_EQ(text("label_progress"), "");

        button("buttonCancel")->click();
        if (!c.cancelEnabled)
            view->ButtonCancelClick(); // a disabled Cancel ignores even a direct call
        EXPECT_EQ(ui->exits, c.cancelQuits ? 1 : 0);
        EXPECT_EQ(showsDownloadView(), c.cancelEnabled && !c.cancelQuits);
        expectExhibitionInPlace();
        window.reset();
    }
}

TEST_F(ViewControllerUpdateTest, FirstInstallationDownloadsInstallsAndGoesOn) {
    loadVersionsAsAtFirstStart();
    openView();
    EXPECT_EQ(text("label_now_version"), "-.-.-.-");
    EXPECT_EQ(text("label_new_version"), "1.0.1");

    button("buttonOK")->click();
    EXPECT_TRUE(parked());
    EXPECT_FALSE(fs::exists(ui->exhibition()));
    EXPECT_TRUE(launcher().closeBlocked);
    EXPECT_FALSE(button("buttonOK")->isEnabled());
    EXPECT_EQ(text("label_update_confirm"), "しばらくお待ちください");
    EXPECT_EQ(text("label_progress"), "ダウンロード中");

    ASSERT_TRUE(waitUntil([&] { return showsDownloadView(); }));
    EXPECT_EQ(ui->alerts.texts(), std::vector<std::string>{"セットアップ成功"});
    EXPECT_EQ(bar()->value(), 100);
    EXPECT_EQ(text("label_progress"), "更新完了");
    EXPECT_NE(std::find(barValues.begin(), barValues.end(), 100), barValues.end());
    EXPECT_FALSE(launcher().closeBlocked);
    EXPECT_EQ(ui->exits, 0);

    std::string viewer = ui->base() + "/" + kViewer;
    EXPECT_EQ(readFile(viewer), "#!/bin/sh\n");
    EXPECT_NE(fs::status(viewer).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(readFile(ui->exhibition("version_mac.json")), R"({"version":"1.0.1"})");
    EXPECT_FALSE(fs::exists(ui->base() + "/Dravik.app"));
    expectExhibitionInPlace();
    expectPrivateFolderClean();

    auto requests = service.service().requests();
    auto download = std::find_if(requests.begin(), requests.end(),
                                 [](const auto& r) { return r.target == kArchivePath; });
    ASSERT_NE(download, requests.end());
    EXPECT_EQ(download->method, "GET");
    EXPECT_FALSE(download->hasHeader("Authorization"));
    auto log = ui->logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "Update.viewDidLoad"), log.end());
}

TEST_F(ViewControllerUpdateTest, AFailedTransferAsksAgainAndARetryInstalls) {
    loadVersionsAsAtFirstStart();
    substitute::Fault missing;
    missing.status = 404;
    missing.body = "no such release";
    service.service().setFault(kArchivePath, missing);
    openView();

    button("buttonOK")->click();
    ASSERT_TRUE(waitUntil([&] { return button("buttonOK")->isEnabled(); }));
    EXPECT_EQ(text("label_update_confirm"), "ダウンロードに失敗しました");
    EXPECT_EQ(text("label_progress"), "");
    // Nothing is installed yet: Cancel stays off; and nothing runs, so the window may close.
    EXPECT_FALSE(button("buttonCancel")->isEnabled());
    EXPECT_FALSE(launcher().closeBlocked);
    EXPECT_TRUE(ui->alerts.texts().empty());
    expectExhibitionInPlace();
    expectPrivateFolderClean(); // the error page was not kept as an archive

    service.service().clearFaults();
    ui->alerts.answerNext(false);
    button("buttonOK")->click();
    EXPECT_TRUE(parked());
    ASSERT_TRUE(waitUntil([&] { return ui->exits == 1; }));
    EXPECT_TRUE(fs::exists(ui->base() + "/" + kViewer));
    EXPECT_FALSE(showsDownloadView()); // "Cancel" on the last question ends the process
    EXPECT_FALSE(launcher().closeBlocked);
    expectExhibitionInPlace();
    expectPrivateFolderClean();
}

TEST_F(ViewControllerUpdateTest, ClosingDuringTheDownloadCancelsItAndClosesTheWindow) {
    loadVersionsAsAtFirstStart();
    substitute::Fault paced;
    paced.pacing = std::chrono::milliseconds(60);
    service.service().setFault(kArchivePath, paced);
    openView();

    button("buttonOK")->click();
    ASSERT_TRUE(
        waitUntil([&] { return text("label_progress").find(" MB)") != std::string::npos; }));
    EXPECT_GT(bar()->value(), 0);
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(launcher().closeRequested);

    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));
    EXPECT_FALSE(launcher().closeBlocked);
    EXPECT_FALSE(fs::exists(ui->base() + "/" + kViewer));
    EXPECT_TRUE(ui->alerts.texts().empty());
    EXPECT_EQ(ui->exits, 0);
    expectExhibitionInPlace();
    expectPrivateFolderClean(true);
    auto partial =
        PartialDownload::read(PartialDownload::dataPath(ui->privateFolder(), "Release_1.0.1.7z"));
    ASSERT_TRUE(partial);
    EXPECT_TRUE(partial->url.ends_with(kArchivePath)) << partial->url;
    auto log = ui->logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "windowShouldClose->false"), log.end());
}

TEST_F(ViewControllerUpdateTest, ProgressClimbsToNinetyWaitsForTheInstallationThenJumps) {
    // The extractor waits for a gate, so the installation lasts as long as the test wants.
    std::string gate = staging.path() + "/gate";
    writeFile(resources() + "/7zz", "#!/bin/sh\nwhile [ ! -e '" + gate +
                                        "' ]; do sleep 0.01; done\nexec " + kSystemExtractor +
                                        " \"$@\"\n");
    fs::permissions(resources() + "/7zz", fs::perms::owner_all);
    loadVersionsAsAtFirstStart();
    openView();

    button("buttonOK")->click();
    ASSERT_TRUE(waitUntil([&] { return bar()->value() == 90; }));
    EXPECT_EQ(text("label_progress"), "更新中");
    expectExhibitionInPlace();               // back in place before the installation starts
    waitFor(std::chrono::milliseconds(200)); // forty ticks
    EXPECT_EQ(bar()->value(), 90);
    EXPECT_TRUE(view->isTimerRunning());
    EXPECT_TRUE(launcher().closeBlocked);
    EXPECT_TRUE(ui->alerts.texts().empty());

    writeFile(gate, "");
    ASSERT_TRUE(waitUntil([&] { return alerted("セットアップ成功"); }));
    EXPECT_FALSE(view->isTimerRunning());
    std::vector<int> climb;
    for (int value = 0; value <= 90; ++value)
        climb.push_back(value);
    climb.push_back(100);
    ASSERT_GE(barValues.size(), climb.size());
    EXPECT_TRUE(std::equal(climb.begin(), climb.end(), barValues.end() - climb.size()));
    EXPECT_TRUE(showsDownloadView());
    expectExhibitionInPlace();
}

} // namespace
} // namespace dravik::test
