// The parts that cross threads, with the real workers, HTTPS transfers and processes: the sign-in
// worker and the data sync handing over to the main thread, transfers delivering on it while the
// viewer's watcher thread asks for the close, and the installation worker. These tests are what
// the ThreadSanitizer build runs.

#include "QueueMainThread.h"
#include "common/Launcher.h"
#include "common/Lifetime.h"
#include "exhibition/DownloadProgress.h"
#include "exhibition/ExhibitionDataSync.h"
#include "exhibition/ViewerLauncher.h"
#include "integration/TinyTlsServer.h"
#include "signin/SignInSequence.h"
#include "support/Fakes.h"
#include "support/ServiceFixture.h"
#include "system/curl/CurlHttp.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/ThreadWorkers.h"
#include "update/ArchiveMaker.h"
#include "update/ReleaseInstaller.h"

#include <atomic>
#include <curl/curl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A launcher context whose platform runs on real threads, with this thread as the main thread.
struct ThreadedLauncher {
    explicit ThreadedLauncher(const std::string& serviceBaseUrl)
        : platform{alerts,
                   main,
                   *workers,
                   http,
                   processes,
                   desktop,
                   desktop,
                   desktop,
                   flags,
                   audio,
                   diskSync,
                   activity,
                   BundleInfo{temp / "bundle/Dravik.app",
                              temp / "bundle/Dravik.app/Contents/Resources", "1.0.0", "7"}},
          launcher(platform, temp / "private", temp / "base", serviceBaseUrl) {
        fs::create_directories(temp / "base/Exhibition");
        fs::create_directories(temp / "private");
        fs::create_directories(platform.bundle.resourcesPath);
        launcher.timings.pollInterval = 1ms;
        launcher.timings.requestTimeout = 20s;
        launcher.exitProcess = [this] {
            ++exits;
        };
    }
    ~ThreadedLauncher() {
        // Workers still running may wait for the main thread: keep serving it until they end.
        std::atomic<bool> joined{false};
        std::thread joiner([this, &joined] {
            workers.reset();
            joined = true;
        });
        main.runUntil([&] { return joined.load(); }, 60s);
        joiner.join();
    }

    std::string exhibition(const std::string& relative) const {
        return temp / ("base/Exhibition/" + relative);
    }

    TempFolder temp;
    QueueMainThread main;
    MainThreadAlerts alerts{main};
    std::unique_ptr<ThreadWorkers> workers = std::make_unique<ThreadWorkers>();
    CurlHttp http{main, kTestCa};
    PosixProcesses processes;
    FakeDesktop desktop;
    FakeFileFlags flags;
    FakeAudioPlayer audio;
    FakeDiskSync diskSync;
    FakeActivity activity;
    Platform platform;
    Launcher launcher;
    int exits = 0;
};

TEST(ThreadedPartsTest, SignInAndDataSyncWorkersHandOverThroughTheMainThread) {
    struct Case {
        const char* what;
        std::string faultPath;
        substitute::Fault fault;
        SignInResult::Kind kind;
        size_t listed; // download list entries after the sync
        size_t alerts;
    };
    substitute::Fault serverError;
    serverError.status = 500;
    substitute::Fault emptyHall;
    emptyHall.status = 200;
    emptyHall.body = "{}";
    const Case cases[] = {
        {"signed in", "", {}, SignInResult::Kind::SignedIn, 2, 0},
        {"sign-in refused, visitor goes on", "/exhibition/api/v1/auth", serverError,
         SignInResult::Kind::ContinueWithoutSignIn, 0, 1},
        {"hall record unusable", "/exhibition/api/v1/exhibitions/1/halls/10/", emptyHall,
         SignInResult::Kind::SignedIn, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceFixture service;
        if (!c.faultPath.empty())
            service.service().setFault(c.faultPath, c.fault);
        ASSERT_EQ(service.start(), "");
        ThreadedLauncher t(service.url(""));
        Launcher& launcher = t.launcher;
        launcher.ini = Ini::parse("Background_Loading=ON");
        launcher.localVersion = QZ_VERSION{};
        launcher.localVersion->version = "1.0.0";
        t.alerts.answer = false; // "Cancel" after a failed sign-in: go on without it

        std::optional<SignInResult> result;
        bool handedOver = false;
        t.workers->run([&] {
            SignInResult signIn =
                runSignInSequence(launcher, "111122223333", "visitor@example.com");
            t.main.post([&, signIn] {
                result = signIn;
                if (signIn.kind != SignInResult::Kind::SignedIn &&
                    signIn.kind != SignInResult::Kind::ContinueWithoutSignIn)
                    return;
                t.workers->run([&] {
                    ExhibitionDataSync(launcher).run(
                        [&] { t.main.post([&] { handedOver = true; }); });
                });
            });
        });
        ASSERT_TRUE(t.main.runUntil([&] { return handedOver; }));

        ASSERT_TRUE(result);
        EXPECT_EQ(result->kind, c.kind);
        EXPECT_EQ(launcher.downloadList.size(), c.listed);
        EXPECT_EQ(t.alerts.texts().size(), c.alerts);
        EXPECT_EQ(launcher.authRecord.has_value(), c.kind == SignInResult::Kind::SignedIn);
    }
}

// Drives the download list the way the download view does, on the main thread.
struct ListDownload {
    ListDownload(ThreadedLauncher& t) : t(t), progress(t.launcher) {}

    void start() {
        if (progress.atEnd()) {
            finished = true;
            return;
        }
        // A folder that cannot be made fails the placement of the file below.
        (void)t.launcher.file.createFolder(progress.entry().path);
        auto destination = progress.destination();
        ASSERT_TRUE(destination);
        TransferReceiver receiver;
        receiver.context = alive.token();
        current = progress.file().filename;
        bytesSeen = 0;
        receiver.progress = [this](int64_t written, int64_t) {
            EXPECT_TRUE(t.main.isCurrent());
            bytesSeen = std::max(bytesSeen, written);
        };
        receiver.completed = [this, target = *destination](const TransferResult& result) {
            EXPECT_TRUE(t.main.isCurrent());
            if (result.succeeded())
                fs::rename(result.file, target);
            if (!result.succeeded() || progress.completed() == DownloadProgress::Next::Finish) {
                finished = true;
                return;
            }
            start();
        };
        transfer = t.http.download(progress.request(), progress.entry().path, receiver);
    }

    ThreadedLauncher& t;
    DownloadProgress progress;
    Lifetime alive;
    std::unique_ptr<Transfer> transfer;
    std::string current;   // the file being fetched
    int64_t bytesSeen = 0; // of the current file
    bool finished = false;
};

TEST(ThreadedPartsTest, TransfersDeliverOnTheMainThreadWhileTheViewerEnds) {
    ServiceFixture service;
    for (int i = 0; i < 6; ++i)
        writeFile(service.data() + "/files/t/f" + std::to_string(i) + ".bin",
                  std::string(200000 + i, static_cast<char>('a' + i)));
    substitute::Fault paced;
    paced.pacing = 100ms;
    service.service().setFault("/files/t/f3.bin", paced);
    ASSERT_EQ(service.start(), "");
    ThreadedLauncher t(service.url(""));
    Launcher& launcher = t.launcher;
    launcher.authRecord = QZ_AUTH{{}, service.service().issueToken()};
    for (int64_t booth : {1, 2}) {
        DOWNLOAD_FILES entry{booth, t.exhibition("data/" + std::to_string(booth)), "S", {}};
        for (int i = 0; i < 3; ++i) {
            std::string name = "f" + std::to_string((booth - 1) * 3 + i) + ".bin";
            entry.downloadFileList.push_back({name, service.url("/files/t/" + name)});
        }
        launcher.downloadList.push_back(entry);
    }
    // The viewer ends while the paced file is fetched; its watcher thread asks for the close.
    const std::string viewer = t.exhibition("Kestrane.app/Contents/MacOS/Kestrane");
    const std::string gate = t.temp / "viewer-may-end";
    writeFile(viewer, "#!/bin/sh\nwhile [ ! -e '" + gate + "' ]; do sleep 0.01; done\n");
    fs::permissions(viewer, fs::perms::owner_all);
    ASSERT_EQ(ViewerLauncher(launcher).launch(), ViewerLaunch::Started);

    ListDownload download(t);
    download.start();
    ASSERT_TRUE(
        t.main.runUntil([&] { return download.current == "f3.bin" && download.bytesSeen > 0; }));
    writeFile(gate, "");
    ASSERT_TRUE(t.main.runUntil([&] { return download.finished; }));
    EXPECT_TRUE(launcher.closeRequested);
    // The list stopped after the paced file; its folder is not complete and has no stamp.
    EXPECT_EQ(download.progress.downloadedCount(), 4);
    EXPECT_EQ(readFile(t.exhibition("data/2/f3.bin")), std::string(200003, 'd'));
    EXPECT_TRUE(fs::exists(t.exhibition("data/1/updated_at.json")));
    EXPECT_FALSE(fs::exists(t.exhibition("data/2/updated_at.json")));
    EXPECT_GT(download.bytesSeen, 0);

    // A transfer cancelled, and one dropped, from the main thread while their threads write.
    launcher.closeRequested = false;
    ListDownload cancelled(t);
    cancelled.progress.completed(); // straight to the paced file
    cancelled.progress.completed();
    cancelled.progress.completed();
    cancelled.start();
    ASSERT_TRUE(t.main.runUntil([&] { return cancelled.bytesSeen > 0; }));
    cancelled.transfer->cancel();
    ASSERT_TRUE(t.main.runUntil([&] { return cancelled.finished; }));
    ListDownload dropped(t);
    dropped.start();
    dropped.transfer.reset();
    t.main.runUntil([] { return false; }, 100ms);
    EXPECT_FALSE(dropped.finished);
}

TEST(ThreadedPartsTest, ClosingTheClientEndsTheTransfersOfEveryThread) {
    // A server built into this program, so that ThreadSanitizer sees its threads too.
    TinyTlsServer server(kCertificates + "/server.pem", kCertificates + "/server.key",
                         {.slowPause = 1s});
    QueueMainThread main;
    auto client = std::make_unique<CurlHttp>(main, kTestCa);
    CurlHttp* shared = client.get();
    HttpRequest slow;
    slow.url = server.url("/slow");

    // A worker waits for a request while the main thread's download runs on the same engine.
    Expected<HttpResponse> answer = fail("no answer yet");
    std::thread worker([&] { answer = shared->request(slow); });
    bool delivered = false;
    Lifetime alive;
    TransferReceiver receiver;
    receiver.context = alive.token();
    receiver.progress = [&](int64_t, int64_t) {
        delivered = true;
    };
    receiver.completed = [&](const TransferResult&) {
        delivered = true;
    };
    TempFolder folder;
    auto transfer = client->download(slow, folder.path(), receiver);
    ASSERT_TRUE(main.runUntil([&] { return server.connections() == 2; }));
    main.runUntil([] { return false; }, 100ms);

    client.reset();
    worker.join();
    main.runUntil([] { return false; }, 100ms);
    EXPECT_FALSE(answer.hasValue());
    EXPECT_EQ(answer.error(), "cancelled");
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(fs::is_empty(folder.path()));
    transfer.reset();
}

// The engine's own ends, with workers waiting on it: an idle timeout, a failure of the multi
// interface staged from the test's thread, and transfers dropped by the main thread just as the
// engine ends them (each reads the delivering flag once, so no finished file stays behind).
TEST(ThreadedPartsTest, TheEngineEndsEveryWaitOnItsOwnThread) {
    TinyTlsServer server(kCertificates + "/server.pem", kCertificates + "/server.key",
                         {.bodySize = 16, .slowPause = 4s, .tricklePause = 100ms});
    QueueMainThread main;
    std::atomic<bool> failing{false};
    TransferEngine::Settings settings;
    settings.extraAuthority = TrustStore::readFile(kTestCa);
    settings.multiResult = [&failing](int result) {
        return failing ? static_cast<int>(CURLM_INTERNAL_ERROR) : result;
    };
    CurlHttp http(main, settings);
    auto ask = [&http, &server](const std::string& path, std::chrono::milliseconds timeout) {
        HttpRequest request;
        request.url = server.url(path);
        request.timeout = timeout;
        return http.request(request);
    };

    std::vector<Expected<HttpResponse>> answers(3, fail("no answer yet"));
    std::vector<std::thread> workers;
    // Timeouts with room for ThreadSanitizer's slow handshakes: the trickle takes 1.6 s in all.
    workers.emplace_back([&] { answers[0] = ask("/trickle", 1s); });
    workers.emplace_back([&] { answers[1] = ask("/slow", 1s); });
    for (auto& worker : workers)
        worker.join();
    EXPECT_TRUE(answers[0].hasValue()) << answers[0].error();
    ASSERT_FALSE(answers[1].hasValue());
    EXPECT_NE(answers[1].error().find("Timed out"), std::string::npos);

    std::thread waiting([&] { answers[2] = ask("/slow", 10s); });
    EXPECT_TRUE(main.runUntil([&] { return server.requestsFor("/slow") == 2; }));
    failing = true;
    waiting.join();
    failing = false;
    ASSERT_FALSE(answers[2].hasValue());
    EXPECT_NE(answers[2].error().find("transfer engine failed"), std::string::npos);

    TempFolder folder;
    Lifetime alive;
    for (int round = 0; round < 40; ++round) {
        HttpRequest request;
        request.url = server.url("/f" + std::to_string(round));
        TransferReceiver receiver;
        receiver.context = alive.token();
        auto transfer = http.download(request, folder.path(), receiver);
        // Dropped at a different moment each round, around the end of the exchange.
        std::this_thread::sleep_for(std::chrono::microseconds(round * 250));
        transfer.reset();
    }
    main.runUntil([] { return false; }, 300ms);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

// A download held back behind another starts from the engine's thread once that one has ended
// whole (or at once, when it already has), and never otherwise: not after a body cut short, a
// cancel, or a stop asked for meanwhile.
TEST(ThreadedPartsTest, ADownloadHeldBackStartsOnlyAfterTheOneBeforeEndedWhole) {
    TinyTlsServer server(kCertificates + "/server.pem", kCertificates + "/server.key",
                         {.bodySize = 64, .slowPause = 300ms});
    QueueMainThread main;
    CurlHttp http(main, kTestCa);
    struct Row {
        const char* name;
        const char* first;
        enum { None, CancelFirst, Stop, FirstEndsBefore } meanwhile;
        bool nextStarts;
    };
    const Row rows[] = {{"whole", "/slow", Row::None, true},
                        {"already ended", "/quick", Row::FirstEndsBefore, true},
                        {"cut short", "/cut", Row::None, false},
                        {"cancelled", "/slow", Row::CancelFirst, false},
                        {"stop asked for", "/slow", Row::Stop, false}};
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string after = "/after-" + std::to_string(++index);
        TempFolder folder;
        Lifetime alive;
        std::atomic<bool> stop{false};
        std::vector<std::optional<TransferResult>> results(2);
        auto receiver = [&](size_t i) {
            TransferReceiver made;
            made.context = alive.token();
            made.completed = [&results, i](const TransferResult& result) {
                results[i] = result;
            };
            return made;
        };
        HttpRequest first;
        first.url = server.url(row.first);
        HttpRequest next;
        next.url = server.url(after);
        auto firstTransfer = http.download(first, folder.path(), receiver(0));
        if (row.meanwhile == Row::FirstEndsBefore) {
            ASSERT_TRUE(main.runUntil([&] { return results[0].has_value(); }));
        }
        auto nextTransfer = http.downloadAfter(*firstTransfer, next, folder.path(), receiver(1),
                                               [&stop] { return !stop; });
        ASSERT_NE(nextTransfer, nullptr);
        if (row.meanwhile == Row::CancelFirst)
            firstTransfer->cancel();
        if (row.meanwhile == Row::Stop)
            stop = true;
        if (row.first == std::string("/slow")) {
            main.runUntil([] { return false; }, 100ms);
            EXPECT_EQ(server.requestsFor(after), 0);
        }

        ASSERT_TRUE(main.runUntil([&] { return results[0] && results[1]; }));
        EXPECT_EQ(results[0]->succeeded(), row.nextStarts || row.meanwhile == Row::Stop);
        EXPECT_EQ(server.requestsFor(after), row.nextStarts ? 1 : 0);
        EXPECT_EQ(results[1]->succeeded(), row.nextStarts) << results[1]->error;
        if (!row.nextStarts) {
            EXPECT_EQ(results[1]->error, "cancelled");
        }
    }
}

TEST(ThreadedPartsTest, WorkerThreadsAreJoinedOnceTheirJobsEnd) {
    std::atomic<int> ran{0};
    {
        ThreadWorkers workers;
        for (int i = 0; i < 20; ++i) {
            workers.run([&] { ++ran; });
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            while (workers.threadCounts().running > 0 &&
                   std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            ASSERT_EQ(workers.threadCounts().running, 0u);
        }
        // Each run joined the threads that had ended before it: only the last one is left.
        EXPECT_EQ(workers.threadCounts().unjoined, 1u);
        workers.run([&] {
            std::this_thread::sleep_for(50ms);
            ++ran;
        });
    }
    EXPECT_EQ(ran, 21);
}

TEST(ThreadedPartsTest, InstallationWorkerMeetsACloseRequestFromAnotherThread) {
    TempFolder stage;
    writeFile(stage / "Release/Exhibition/Kestrane.app/Contents/MacOS/Kestrane", "#!/bin/sh\n");
    writeFile(stage / "Release/Exhibition/version_mac.json", R"({"version":"1.0.1"})");
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        ThreadedLauncher t("https://127.0.0.1:1");
        Launcher& launcher = t.launcher;
        fs::copy_file(kSystemExtractor, launcher.platform.bundle.resourcesPath + "/7zz");
        const std::string archive = launcher.privatePath("Release_1.0.1.7z");
        ASSERT_TRUE(makeArchive(archive, {stage / "Release"}));
        launcher.remoteVersion = QZ_VERSION{};
        launcher.remoteVersion->copy_files =
            std::vector<std::string>{"Exhibition/version_mac.json"};
        launcher.remoteVersion->copy_folders = std::vector<std::string>{"Exhibition/Kestrane.app"};
        launcher.closeBlocked = true;

        std::optional<InstallResult> result;
        ReleaseInstaller(launcher).start(archive, [&](const InstallResult& ended) {
            EXPECT_TRUE(t.main.isCurrent());
            result = ended;
        });
        std::thread closer([&launcher, round] {
            std::this_thread::sleep_for(std::chrono::milliseconds(round * 15));
            launcher.closeRequested = true;
        });
        ASSERT_TRUE(t.main.runUntil([&] { return result.has_value(); }));
        closer.join();

        EXPECT_NE(result->outcome, InstallOutcome::Failed);
        EXPECT_FALSE(launcher.closeBlocked);
        EXPECT_EQ(readFile(t.exhibition("version_mac.json")), R"({"version":"1.0.1"})");
        EXPECT_FALSE(fs::exists(archive));
        EXPECT_FALSE(fs::exists(launcher.privatePath("extract")));
    }
}

} // namespace
} // namespace dravik::test
