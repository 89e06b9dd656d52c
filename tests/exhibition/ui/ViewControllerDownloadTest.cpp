#include "exhibition/ui/ViewControllerDownload.h"

#include "common/PartialDownload.h"
#include "support/qt/ServiceWindow.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kViewer = "Kestrane.app/Contents/MacOS/Kestrane";

substitute::Fault fault(const std::function<void(substitute::Fault&)>& set) {
    substitute::Fault made;
    set(made);
    return made;
}

// The download view over the substitute service, with files the test puts there.
struct DownloadView : ServiceWindow {
    DownloadView() {
        storyboard.add("DravikToDownload", Storyboard::Presentation::ReplaceView,
                       [](Launcher& launcher, WindowController& window) -> QWidget* {
                           return new ViewControllerDownload(launcher, window);
                       });
    }

    // Puts a file of the given size on the service; its address.
    std::string serve(const std::string& name, size_t size) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>('a' + (i * 7 + name.size()) % 26);
        writeFile(service.data() + "/files/t/" + name, bytes);
        return "/files/t/" + name;
    }
    std::string served(const std::string& name) const {
        return readFile(service.data() + "/files/t/" + name);
    }

    void start() {
        ASSERT_EQ(startService(), "");
        writeFile(ui->exhibition(kViewer), "");
        Launcher& launcher = *ui->launcher;
        launcher.exitProcess = [this] {
            ++exits;
        };
        QZ_EXHIBITION exhibition{1, "春のバーチャル展示会", "", "",
                                 std::vector<QZ_HALLINFO>{{10, "ロビー"}}};
        launcher.authRecord = QZ_AUTH{{exhibition}, service.service().issueToken()};
        launcher.invitedExhibitionId = 1;
        launcher.invitedHallId = 10;
    }

    // A folder of the download list below Exhibition/BackgroundData/exhibition1_hall10.
    void queue(int64_t boothId, const std::string& stamp, const std::vector<std::string>& names) {
        DOWNLOAD_FILES entry{boothId, folder(boothId), stamp, {}};
        for (const auto& name : names)
            entry.downloadFileList.push_back({name, service.url("/files/t/" + name)});
        ui->launcher->downloadList.push_back(entry);
    }
    std::string folder(int64_t boothId) const {
        std::string hall = ui->exhibition("BackgroundData/exhibition1_hall10");
        return boothId < 0 ? hall : hall + "/" + std::to_string(boothId);
    }
    bool stamped(int64_t boothId) const { return fs::exists(folder(boothId) + "/updated_at.json"); }

    void open() {
        window = std::make_unique<WindowController>(*ui->launcher, storyboard);
        window->show();
        ASSERT_TRUE(window->performSegue("DravikToDownload"));
        view = dynamic_cast<ViewControllerDownload*>(window->contentViewController());
        ASSERT_NE(view, nullptr);
    }
    bool closed() const { return !window->isVisible(); }
    bool waitUntilClosed() {
        return waitUntil([this] { return closed(); });
    }
    // Targets of the file requests so far, in order.
    std::vector<std::string> fileRequests() {
        std::vector<std::string> targets;
        for (const auto& request : service.service().requests())
            if (request.target.rfind("/files/", 0) == 0)
                targets.push_back(request.target);
        return targets;
    }
    bool requested(const std::string& name) {
        auto targets = fileRequests();
        return std::find(targets.begin(), targets.end(), "/files/t/" + name) != targets.end();
    }
    QString text(const char* label) const { return child<QLabel>(view, label)->text(); }
    QProgressBar* bar(const char* name) const { return child<QProgressBar>(view, name); }
    bool logged(const std::string& part) const {
        for (const auto& line : ui->logLines())
            if (line.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::vector<std::string> leftovers(int64_t boothId) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder(boothId)))
            if (entry.path().filename().string().rfind(".download-", 0) == 0)
                names.push_back(entry.path().filename().string());
        return names;
    }

    ViewControllerDownload* view = nullptr;
    int exits = 0;
};

TEST(ViewControllerDownloadTest, FetchesTheListWhileTheViewerRuns) {
    DownloadView d;
    d.serve("hall.bin", 300000);
    d.serve("sky.txt", 1200);
    d.serve("poster.png", 2000000);
    // The booth's file is answered late, so the hall folder's stamp can be looked at meanwhile.
    d.service.service().setFault("/files/t/poster.png", fault([](auto& f) { f.delay = 400ms; }));
    d.start();
    d.queue(-1, "2025-04-01 10:00:00", {"hall.bin", "sky.txt"});
    d.queue(57, "2025-04-02 09:00:00", {"poster.png"});
    writeFile(d.folder(-1) + "/sky.txt/old.txt", "a folder where the file goes is replaced");
    d.open();

    EXPECT_EQ(d.ui->logLines().front(), "Download.viewDidLoad");
    ASSERT_EQ(d.ui->processes.calls.size(), 1u);
    EXPECT_EQ(d.ui->processes.calls[0].program, d.ui->exhibition(kViewer));
    EXPECT_TRUE(d.ui->processes.calls[0].args.empty());
    EXPECT_EQ(d.ui->desktop.scans, 10); // the fake lists no viewer window
    EXPECT_TRUE(d.window->windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(d.ui->launcher->closeBlocked);

    ASSERT_TRUE(waitUntil([&] { return d.stamped(-1); }));
    EXPECT_TRUE(d.requested("poster.png"));
    EXPECT_FALSE(d.stamped(57));
    EXPECT_EQ(d.text("label_filename"), "57/poster.png");
    EXPECT_EQ(d.text("label_file"), "2/3 ファイル");
    EXPECT_EQ(d.text("label_exhibition"), "春のバーチャル展示会");
    EXPECT_EQ(d.text("label_hall"), "ロビー");
    EXPECT_EQ(d.text("label_download"), "ダウンロード中");
    EXPECT_EQ(d.bar("progressBar1")->maximum(), 3);
    EXPECT_EQ(d.bar("progressBar1")->value(), 2);
    EXPECT_EQ(*d.ui->activity.held, 1); // one activity for the whole list

    ASSERT_TRUE(d.waitUntilClosed());
    EXPECT_FALSE(d.ui->launcher->closeBlocked);
    EXPECT_EQ(*d.ui->activity.held, 0);
    EXPECT_EQ(d.ui->activity.reasons.size(), 1u);
    EXPECT_EQ(d.text("label_file"), "3/3 ファイル");
    EXPECT_EQ(d.text("label_size"), "2 / 2 MB");
    EXPECT_EQ(d.bar("progressBar2")->value(), 100);
    EXPECT_TRUE(d.text("label_time").startsWith("経過時間:"));

    EXPECT_EQ(readFile(d.folder(-1) + "/hall.bin"), d.served("hall.bin"));
    EXPECT_EQ(readFile(d.folder(-1) + "/sky.txt"), d.served("sky.txt"));
    EXPECT_EQ(readFile(d.folder(57) + "/poster.png"), d.served("poster.png"));
    EXPECT_EQ(readFile(d.folder(57) + "/updated_at.json"),
              R"({"updated_at":"2025-04-02 09:00:00"})");
    EXPECT_EQ(fs::status(d.folder(57) + "/poster.png").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_TRUE(d.leftovers(-1).empty());
    EXPECT_TRUE(d.leftovers(57).empty());
    EXPECT_EQ(d.fileRequests(), (std::vector<std::string>{"/files/t/hall.bin", "/files/t/sky.txt",
                                                          "/files/t/poster.png"}));
    for (const auto& request : d.service.service().requests())
        EXPECT_EQ(request.header("Authorization"), "Bearer " + d.ui->launcher->authRecord->token);
    EXPECT_EQ(d.exits, 0);
}

TEST(ViewControllerDownloadTest, AFailedTransferEndsTheRunAndItsFolderKeepsNoStamp) {
    struct Case {
        const char* what;
        substitute::Fault fault; // on the fifth of ten files
        const char* logged;
    };
    const Case cases[] = {
        {"not found", fault([](auto& f) {
             f.status = 404;
             f.body = R"({"error":{"code":"NOT_FOUND"}})";
         }),
         "HTTP 404"},
        {"server error", fault([](auto& f) { f.status = 500; }), "HTTP 500"},
        {"connection dropped", fault([](auto& f) { f.dropConnection = true; }),
         "Download failed: 5/f5.bin"},
        {"body cut off", fault([](auto& f) { f.cutBody = true; }), "Download failed: 5/f5.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DownloadView d;
        std::vector<std::string> first, second;
        for (int i = 1; i <= 10; ++i) {
            d.serve("f" + std::to_string(i) + ".bin", 5000 + i);
            (i <= 4 ? first : second).push_back("f" + std::to_string(i) + ".bin");
        }
        d.service.service().setFault("/files/t/f5.bin", c.fault);
        d.start();
        d.queue(4, "S4", first);
        d.queue(5, "S5", second);
        d.open();

        ASSERT_TRUE(d.waitUntilClosed());
        // A kept-alive connection that dies before answering is tried once more on a new one, as
        // any keep-alive client does, so the failing file may be asked for twice; no later file is.
        const auto requests = d.fileRequests();
        EXPECT_EQ(std::set<std::string>(requests.begin(), requests.end()).size(), 5u);
        EXPECT_EQ(d.text("label_file"), "4/10 ファイル");
        EXPECT_TRUE(d.stamped(4));
        EXPECT_FALSE(d.stamped(5));
        EXPECT_FALSE(fs::exists(d.folder(5) + "/f5.bin"));
        EXPECT_TRUE(d.leftovers(5).empty());
        EXPECT_TRUE(d.logged(c.logged));
        EXPECT_FALSE(d.ui->launcher->closeBlocked);
        EXPECT_TRUE(d.ui->alerts.texts().empty());
    }
}

// With Parallel_Downloads, later files are fetched while an earlier one is slow, and still go in
// place, count and stamp in list order; the first failure in list order ends the run.
TEST(ViewControllerDownloadTest, ParallelTransfersStillCompleteInListOrder) {
    for (bool secondFails : {false, true}) {
        SCOPED_TRACE(secondFails ? "the second file fails" : "all arrive");
        DownloadView d;
        d.serve("a.bin", 3000);
        d.serve("b.bin", 2000);
        d.serve("c.bin", 1000);
        d.service.service().setFault("/files/t/a.bin", fault([](auto& f) { f.delay = 600ms; }));
        if (secondFails)
            d.service.service().setFault("/files/t/b.bin", fault([](auto& f) { f.status = 404; }));
        d.start();
        d.ui->launcher->ini = Ini::parse("Parallel_Downloads=3");
        d.queue(1, "s1", {"a.bin", "b.bin"});
        d.queue(2, "s2", {"c.bin"});
        d.open();

        // b and c are answered while a waits: nothing of theirs is in place yet.
        ASSERT_TRUE(waitUntil([&] { return d.requested("c.bin") && d.requested("b.bin"); }));
        waitFor(200ms);
        EXPECT_FALSE(fs::exists(d.folder(1) + "/b.bin"));
        EXPECT_FALSE(fs::exists(d.folder(2) + "/c.bin"));
        EXPECT_EQ(d.text("label_filename"), "1/a.bin");

        ASSERT_TRUE(d.waitUntilClosed());
        EXPECT_EQ(readFile(d.folder(1) + "/a.bin"), d.served("a.bin"));
        if (secondFails) {
            EXPECT_EQ(d.text("label_file"), "1/3 ファイル");
            EXPECT_TRUE(d.logged("Download failed: 1/b.bin"));
            EXPECT_FALSE(d.stamped(1));
            EXPECT_FALSE(d.stamped(2));
            // c was received, then dropped; or cut short and kept for the next run to continue.
            for (const auto& entry : fs::directory_iterator(d.folder(2)))
                EXPECT_TRUE(PartialDownload::isPartialName(entry.path().filename()))
                    << entry.path();
        } else {
            EXPECT_EQ(d.text("label_file"), "3/3 ファイル");
            EXPECT_EQ(readFile(d.folder(2) + "/c.bin"), d.served("c.bin"));
            EXPECT_TRUE(d.stamped(1));
            EXPECT_TRUE(d.stamped(2));
        }
    }
}

// Dravik ends as soon as the window closes: the partial bodies of the files still on their way
// when a failure ends the run must be gone by then (found by the soak through nginx).
TEST(ViewControllerDownloadTest, AFailureClosesTheWindowOnlyOnceTheFilesOnTheirWayAreRemoved) {
    struct CloseWatcher : QObject {
        std::function<void()> onClose;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Close)
                onClose();
            return false;
        }
    };
    DownloadView d;
    d.serve("a.bin", 1000);
    d.serve("b.bin", 1 << 20);
    d.serve("c.bin", 1 << 20);
    d.service.service().setFault("/files/t/a.bin", fault([](auto& f) {
                                     f.status = 500;
                                     f.delay = 300ms;
                                 }));
    for (const char* path : {"/files/t/b.bin", "/files/t/c.bin"})
        d.service.service().setFault(path, fault([](auto& f) { f.pacing = 100ms; }));
    d.start();
    d.ui->launcher->ini = Ini::parse("Parallel_Downloads=3");
    d.queue(1, "s1", {"a.bin", "b.bin"});
    d.queue(2, "s2", {"c.bin"});
    std::vector<std::string> leftAtClose{"(not closed)"};
    CloseWatcher watcher;
    watcher.onClose = [&] {
        leftAtClose = d.leftovers(1);
        for (const std::string& name : d.leftovers(2))
            leftAtClose.push_back(name);
    };
    d.open();
    d.window->installEventFilter(&watcher);

    ASSERT_TRUE(d.waitUntilClosed());
    EXPECT_TRUE(d.requested("b.bin") && d.requested("c.bin"));
    EXPECT_EQ(leftAtClose, std::vector<std::string>{});
    EXPECT_TRUE(d.logged("HTTP 500"));
    EXPECT_FALSE(d.ui->launcher->closeBlocked);
}

TEST(ViewControllerDownloadTest, AFolderThatCannotBeCreatedIsLoggedAndEndsTheRun) {
    DownloadView d;
    d.serve("a.bin", 100);
    d.serve("b.bin", 100);
    d.start();
    d.queue(4, "S4", {"a.bin"});
    d.queue(5, "S5", {"b.bin"});
    writeFile(d.folder(5), "a file where the booth folder belongs");
    d.open();

    ASSERT_TRUE(d.waitUntilClosed());
    EXPECT_TRUE(d.ui->alerts.texts().empty());
    EXPECT_TRUE(d.logged(d.folder(5) + " - "));
    EXPECT_TRUE(d.stamped(4));
    EXPECT_FALSE(d.requested("b.bin"));
    EXPECT_FALSE(d.ui->launcher->closeBlocked);
}

TEST(ViewControllerDownloadTest, AStopRequestLetsTheRunningTransferComplete) {
    enum class Stop { CloseWindow, ViewerEnds };
    for (Stop stop : {Stop::CloseWindow, Stop::ViewerEnds}) {
        SCOPED_TRACE(stop == Stop::CloseWindow ? "window closed" : "viewer ended");
        DownloadView d;
        d.serve("slow.bin", 6 * 65536);
        d.serve("next.bin", 100);
        d.service.service().setFault("/files/t/slow.bin", fault([](auto& f) { f.pacing = 60ms; }));
        d.start();
        d.queue(-1, "H", {"slow.bin", "next.bin"});
        d.open();

        ASSERT_TRUE(waitUntil([&] { return d.requested("slow.bin"); }));
        if (stop == Stop::CloseWindow) {
            d.window->close();
            EXPECT_FALSE(d.closed());
        } else {
            ASSERT_TRUE(d.ui->processes.lastOnExit);
            std::thread watcher(d.ui->processes.lastOnExit); // as the process watcher calls it
            watcher.join();
        }
        EXPECT_TRUE(d.ui->launcher->closeRequested);
        waitFor(100ms);
        EXPECT_FALSE(d.closed()); // the transfer still runs

        ASSERT_TRUE(d.waitUntilClosed());
        EXPECT_EQ(readFile(d.folder(-1) + "/slow.bin"), d.served("slow.bin"));
        EXPECT_FALSE(d.requested("next.bin"));
        EXPECT_FALSE(d.stamped(-1));
        EXPECT_EQ(d.text("label_file"), "1/2 ファイル");
        EXPECT_EQ(*d.ui->activity.held, 0);
    }
}

// The stop arrives while the view waits for a folder's stamp (found by the soak: the run never
// ended).
TEST(ViewControllerDownloadTest, AStopRequestDuringAStampBarrierStillEndsTheRun) {
    DownloadView d;
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        d.serve(name, 100);
    d.start();
    d.ui->diskSync.onSync = [&](const std::vector<std::string>&) {
        d.ui->launcher->closeRequested = true;
    };
    d.queue(1, "A", {"a.bin"});
    d.queue(2, "B", {"b.bin"});
    d.queue(3, "C", {"c.bin"});
    d.open();

    ASSERT_TRUE(d.waitUntilClosed());
    EXPECT_TRUE(d.stamped(1));
    EXPECT_FALSE(d.requested("c.bin"));
    EXPECT_FALSE(d.ui->launcher->closeBlocked);
}

TEST(ViewControllerDownloadTest, AnEmptyListEndsRightAfterTheViewerStarts) {
    DownloadView d;
    d.start();
    d.open();
    ASSERT_TRUE(d.waitUntilClosed());
    EXPECT_EQ(d.ui->processes.calls.size(), 1u);
    EXPECT_TRUE(d.fileRequests().empty());
    EXPECT_FALSE(d.ui->launcher->closeBlocked);
    EXPECT_EQ(d.exits, 0);
}

TEST(ViewControllerDownloadTest, AMissingViewerEndsTheProcessBeforeAnyTransfer) {
    DownloadView d;
    d.serve("a.bin", 10);
    d.start();
    fs::remove(d.ui->exhibition(kViewer));
    d.queue(-1, "H", {"a.bin"});
    d.open();
    EXPECT_EQ(d.exits, 1);
    EXPECT_EQ(d.ui->alerts.texts(), std::vector<std::string>{"Can not start Kestrane"});
    waitFor(100ms);
    EXPECT_TRUE(d.fileRequests().empty());
    EXPECT_TRUE(d.ui->processes.calls.empty());
}

} // namespace
} // namespace dravik::test
