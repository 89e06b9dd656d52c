// What other programs and the service hand to Dravik, at its worst: paths full of shell
// characters on their way to a program, names and archives from the service that point out of
// their folder, a server whose certificate nobody vouches for, and failures whose texts end up in
// the run log. All through the production platform services.

#include "ZipWriter.h"
#include "app/Storyboard.h"
#include "app/WindowController.h"
#include "common/File.h"
#include "common/Lifetime.h"
#include "exhibition/ExhibitionDataSync.h"
#include "exhibition/ViewerLauncher.h"
#include "exhibition/ui/ViewControllerDownload.h"
#include "service/ServiceClient.h"
#include "signin/SignInSequence.h"
#include "support/ServiceFixture.h"
#include "support/qt/UiTesting.h"
#include "system/curl/CurlHttp.h"
#include "system/posix/PosixProcesses.h"
#include "system/qt/QtMainThread.h"
#include "update/ArchiveExtractor.h"
#include "update/ArchiveMaker.h"
#include "update/ReleaseInstaller.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>
#include <unistd.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using json = nlohmann::json;

// A launcher context whose processes are started by the production implementation.
struct ProcessLauncher {
    explicit ProcessLauncher(const std::string& base, const std::string& bundle)
        : platform{alerts,
                   mainThread,
                   workers,
                   noHttp,
                   processes,
                   desktop,
                   desktop,
                   desktop,
                   fileFlags,
                   audio,
                   diskSync,
                   activity,
                   BundleInfo{bundle, bundle + "/Contents/Resources", "1.0.0", "7"}},
          launcher(platform, temp / "private", base, "https://127.0.0.1:1") {
        fs::create_directories(base + "/Exhibition");
        fs::create_directories(temp / "private");
        fs::create_directories(platform.bundle.resourcesPath);
        launcher.timings.pollInterval = 1ms;
    }

    TempFolder temp;
    FakeAlerts alerts;
    InlineMainThread mainThread;
    InlineWorkers workers;
    NoHttp noHttp;
    PosixProcesses processes;
    FakeDesktop desktop;
    FakeFileFlags fileFlags;
    FakeAudioPlayer audio;
    FakeDiskSync diskSync;
    FakeActivity activity;
    Platform platform;
    Launcher launcher;
};

TEST(HostileInputTest, PathsWithShellCharactersReachEveryProgramUnchanged) {
    TempFolder temp;
    // What a shell would expand, split or run, and a line break for good measure.
    const std::string odd = " \"dq\" 'sq' $HOME ${PATH} `touch pwned1` $(touch pwned2) ;touch "
                            "pwned3 & | < > \\ * ? [a] ~ #\t\n!";
    const std::string base = temp / ("base" + odd);
    const std::string bundle = temp / ("bundle" + odd + "/Dravik.app");
    ProcessLauncher p(base, bundle);
    Launcher& launcher = p.launcher;
    const std::string marker = temp / "started-as";

    // The viewer, started directly; it notes how it was called.
    const std::string viewer = launcher.exhibitionPath("Kestrane.app/Contents/MacOS/Kestrane");
    writeFile(viewer, "#!/bin/sh\nprintf '%s' \"$0\" > '" + marker + "'\n");
    fs::permissions(viewer, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(launcher.file.makeExecutable(viewer));
    EXPECT_NE(fs::status(viewer).permissions() & fs::perms::owner_exec, fs::perms::none);
    ASSERT_EQ(ViewerLauncher(launcher).launch(), ViewerLaunch::Started);
    ASSERT_TRUE(waitUntil([&] { return launcher.closeRequested.load(); }, 10s));
    EXPECT_EQ(readFile(marker), viewer);

    // The extractor in the bundle, with an archive and a destination of the same kind. The
    // archive's name is the published record's, wildcards included: they must not make the
    // extractor open the decoy beside it; a "*" in the destination (a home folder may hold one)
    // must not be read as the extractor's placeholder for the archive's name.
    fs::copy_file(kSystemExtractor, launcher.platform.bundle.resourcesPath + "/7zz");
    writeFile(temp / "stage/Release/inside.txt", "inside");
    writeFile(temp / "stage/Decoy/decoy.txt", "decoy");
    const std::string archive = launcher.privatePath("release" + odd + ".7z");
    ASSERT_TRUE(makeArchive(archive, {temp / "stage/Release"}));
    std::string decoy = "release" + odd + ".7z"; // what the wildcards would match as well
    std::replace(decoy.begin(), decoy.end(), '*', 'x');
    std::replace(decoy.begin(), decoy.end(), '?', 'y');
    ASSERT_TRUE(makeArchive(launcher.privatePath(decoy), {temp / "stage/Decoy"}));
    const std::string destination = launcher.privatePath("extract" + odd);
    EXPECT_TRUE(ArchiveExtractor::extractArchive(launcher, archive, destination));
    EXPECT_EQ(readFile(destination + "/Release/inside.txt"), "inside");
    EXPECT_FALSE(fs::exists(destination + "/Decoy"));

    // An archive that asks for a password fails at once, even when the launcher's own standard
    // input could answer: the extractor reads /dev/null.
    const std::string locked = launcher.privatePath("locked.7z");
    ASSERT_TRUE(makeArchive(locked, {"-psecret", temp / "stage/Release"}));
    int answer[2];
    ASSERT_EQ(pipe(answer), 0);
    ASSERT_EQ(write(answer[1], "secret\n", 7), 7);
    close(answer[1]);
    int savedInput = dup(STDIN_FILENO);
    dup2(answer[0], STDIN_FILENO);
    bool extracted = ArchiveExtractor::extractArchive(launcher, locked, temp / "locked-out");
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    close(answer[0]);
    EXPECT_FALSE(extracted);

    for (const char* planted : {"pwned1", "pwned2", "pwned3"}) {
        EXPECT_FALSE(fs::exists(planted)) << planted;
        EXPECT_FALSE(fs::exists(temp / planted)) << planted;
        EXPECT_FALSE(fs::exists(base + "/" + planted)) << planted;
    }
}

// The download view over a hall whose names and addresses try to get out of their folder.
TEST(HostileInputTest, HallNamesAndAddressesFromTheServiceStayInTheirFolder) {
    ServiceFixture service;
    writeFile(service.data() + "/files/t/good.txt", "good");
    ASSERT_EQ(service.start(), "");
    UiLauncher ui(service.url(""), kTestCa);
    Launcher& launcher = *ui.launcher;
    const std::string absolute = ui.temp / "absolute.txt";
    const std::string plainHttp = "http" + service.url("/files/t/good.txt").substr(5);

    auto file = [](const std::string& name, const std::string& uri) {
        return json{{"fileName", name}, {"uri", uri}};
    };
    const std::string good = "{{base}}/files/t/good.txt";
    json hostile = json::array();
    for (const std::string& name :
         {std::string("../escape.txt"), std::string("../../../../escape.txt"), absolute,
          std::string("sub/inner.txt"), std::string(".."), std::string("."), std::string(""),
          std::string("nul\0.txt", 8)})
        hostile.push_back(file(name, good));
    json hall = {
        {"id", 10},
        {"name", "ロビー"},
        {"updated_at", "H"},
        {"hallSize", 1},
        {"files", json::array({file("../hall-escape.txt", good)})},
        {"booths",
         {{"files",
           json::array({{{"id", 1}, {"files", hostile}},
                        {{"id", 2}, {"files", json::array({file("good.txt", good)})}},
                        {{"id", 3}, {"files", json::array({file("passwd", "file:///etc/passwd")})}},
                        {{"id", 4}, {"files", json::array({file("plain.txt", plainHttp)})}},
                        {{"id", 5}, {"files", json::array({file("later.txt", good)})}}})},
          {"updated_ats", json::array({{{"id", 1}, {"updated_at", "B"}},
                                       {{"id", 2}, {"updated_at", "B"}},
                                       {{"id", 3}, {"updated_at", "B"}},
                                       {{"id", 4}, {"updated_at", "B"}},
                                       {{"id", 5}, {"updated_at", "B"}}})}}}};
    writeFile(service.data() + "/halls/exhibition1_hall10.json", hall.dump());

    launcher.ini = Ini::parse("Background_Loading=ON");
    launcher.authRecord = QZ_AUTH{{}, service.service().issueToken()};
    launcher.invitedExhibitionId = 1;
    launcher.invitedHallId = 10;
    writeFile(ui.exhibition("Kestrane.app/Contents/MacOS/Kestrane"), "");
    const std::string hallFolder = ui.exhibition("BackgroundData/exhibition1_hall10");
    const auto before =
        snapshotTree(ui.temp.path(), {ui.exhibition("BackgroundData"), ui.privateFolder()});

    std::atomic<bool> handedOver{false};
    std::thread worker([&] { ExhibitionDataSync(launcher).run([&] { handedOver = true; }); });
    EXPECT_TRUE(waitUntil([&] { return handedOver.load(); }));
    worker.join();
    // The hall folder and booth 1 are refused as a whole; 2 to 5 are listed.
    ASSERT_EQ(launcher.downloadList.size(), 4u);

    Storyboard storyboard;
    storyboard.add("DravikToDownload", Storyboard::Presentation::ReplaceView,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerDownload(launcher, window);
                   });
    WindowController window(launcher, storyboard);
    window.show();
    ASSERT_TRUE(window.performSegue("DravikToDownload"));
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }));

    // Booth 2 arrived; the local file address ended the run without reading anything.
    EXPECT_EQ(readFile(hallFolder + "/2/good.txt"), "good");
    EXPECT_TRUE(fs::exists(hallFolder + "/2/updated_at.json"));
    EXPECT_FALSE(fs::exists(hallFolder + "/3/passwd"));
    EXPECT_FALSE(fs::exists(hallFolder + "/3/updated_at.json"));
    EXPECT_FALSE(fs::exists(hallFolder + "/4"));
    EXPECT_FALSE(fs::exists(hallFolder + "/5"));
    EXPECT_FALSE(fs::exists(absolute));
    EXPECT_EQ(snapshotTree(ui.temp.path(), {ui.exhibition("BackgroundData"), ui.privateFolder()}),
              before);
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(ui.exhibition("BackgroundData")))
        written.push_back(fs::relative(entry.path(), hallFolder).string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written,
              (std::vector<std::string>{".", "2", "2/good.txt", "2/updated_at.json", "3"}));
}

// Releases whose entries point out of the extract folder, or out of the base folder through a
// link, install nothing outside the base folder.
TEST(HostileInputTest, ReleaseArchivesCannotReachOutOfTheirFolders) {
    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
    };
    TempFolder scratch;
    const std::string outside = scratch / "outside";
    const Case cases[] = {
        {"entries with .. and absolute paths",
         {{"Release/Exhibition/Kestrane.app/Contents/MacOS/Kestrane", "#!/bin/sh\n"},
          {"../../escape1.txt", "x"},
          {"Release/../../../escape2.txt", "x"},
          {outside + "/escape3.txt", "x"}}},
        {"a link to an absolute folder",
         {{"Release/Exhibition/Kestrane.app", outside, ZipEntry::Link},
          {"Release/Exhibition/Kestrane.app/escape4.txt", "x"}}},
        {"a link up the tree",
         {{"Release/Exhibition/Kestrane.app", "../../../../../outside", ZipEntry::Link},
          {"Release/Exhibition/version_mac.json", "{}"}}},
        {"a file that is a link to an outside file",
         {{"Release/Exhibition/version_mac.json", outside + "/target.txt", ZipEntry::Link}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestLauncher t;
        installExtractor(t);
        fs::create_directories(outside);
        writeFile(outside + "/target.txt", "target");
        const std::string archive = t.privateFolder() + "/Release.zip";
        ASSERT_TRUE(writeZip(archive, c.entries));
        t.launcher->remoteVersion = QZ_VERSION{};
        t.launcher->remoteVersion->copy_files =
            std::vector<std::string>{"Exhibition/version_mac.json"};
        t.launcher->remoteVersion->copy_folders =
            std::vector<std::string>{"Exhibition/Kestrane.app"};
        const auto before = snapshotTree(scratch.path(), {});
        const auto launcherBefore = snapshotTree(t.temp.path(), {t.base(), t.privateFolder()});

        ReleaseInstaller(*t.launcher).installRelease(archive);

        EXPECT_EQ(snapshotTree(scratch.path(), {}), before);
        EXPECT_EQ(snapshotTree(t.temp.path(), {t.base(), t.privateFolder()}), launcherBefore);
        EXPECT_EQ(readFile(outside + "/target.txt"), "target");
        // Nothing in the base folder leads elsewhere.
        for (const auto& entry : fs::recursive_directory_iterator(t.base())) {
            if (!entry.is_symlink())
                continue;
            std::string target = fs::weakly_canonical(entry.path()).string();
            EXPECT_EQ(target.rfind(t.base() + "/", 0), 0u) << entry.path() << " -> " << target;
        }
        EXPECT_FALSE(fs::exists(t.privateFolder() + "/extract"));
    }
}

TEST(HostileInputTest, AnUntrustedCertificateIsRefusedWithNothingSent) {
    ServiceFixture untrusted("untrusted");
    writeFile(untrusted.data() + "/files/t/a.bin", "a");
    ASSERT_EQ(untrusted.start(), "");
    TestLauncher t(untrusted.url(""));
    QtMainThread mainThread;
    CurlHttp http(mainThread, kTestCa);
    t.useHttp(http);
    Launcher& launcher = *t.launcher;
    launcher.localVersion = QZ_VERSION{};
    launcher.localVersion->version = "1.0.0";
    launcher.localVersion->file_url = untrusted.url("/release/Release_1.0.1.7z");
    launcher.ini = Ini::parse("Background_Loading=ON");

    EXPECT_FALSE(ServiceClient(launcher).signIn());
    EXPECT_FALSE(launcher.authRecord);
    EXPECT_FALSE(ServiceClient(launcher).fetchRemoteVersion());

    // With a token from elsewhere the hall request and the downloads fail just the same.
    launcher.authRecord = QZ_AUTH{{}, "secret-token-0123"};
    launcher.invitedExhibitionId = 1;
    launcher.invitedHallId = 10;
    bool handedOver = false;
    ExhibitionDataSync(launcher).run([&] { handedOver = true; });
    EXPECT_TRUE(handedOver);
    EXPECT_TRUE(launcher.downloadList.empty());
    EXPECT_FALSE(fs::exists(t.privateFolder() + "/hall.json"));

    for (const std::string& url :
         {untrusted.url("/files/t/a.bin"), untrusted.url("/release/Release_1.0.1.7z")}) {
        SCOPED_TRACE(url);
        std::string error;
        bool completed = false, finished = false;
        Lifetime alive;
        TransferReceiver receiver;
        receiver.context = alive.token();
        receiver.completed = [&](const TransferResult& result) {
            finished = !result.file.empty();
            error = result.error;
            completed = true;
        };
        HttpRequest request;
        request.url = url;
        request.headers.push_back(ServiceClient::authorizationHeader("secret-token-0123"));
        auto transfer = http.download(request, t.privateFolder(), receiver);
        ASSERT_TRUE(waitUntil([&] { return completed; }));
        EXPECT_FALSE(finished);
        EXPECT_NE(error.find("certificate"), std::string::npos) << error;
    }
    // The server never saw a request: no fallback sent anything, the token included.
    EXPECT_TRUE(untrusted.service().requests().empty());
    std::vector<std::string> leftovers;
    for (const auto& entry : fs::directory_iterator(t.privateFolder()))
        if (entry.path().filename() != "Dravik_log.txt")
            leftovers.push_back(entry.path().filename());
    EXPECT_EQ(leftovers, std::vector<std::string>{});
    EXPECT_EQ(readFile(t.privateFolder() + "/Dravik_log.txt").find("secret-token"),
              std::string::npos);
}

TEST(HostileInputTest, TheTokenAndThePasswordNeverReachTheRunLogOrTheCopyNames) {
    struct Case {
        const char* what;
        std::string path;
        std::function<void(substitute::Fault&)> fault;
    };
    const std::string api = "/exhibition/api/v1/";
    const Case cases[] = {
        {"sign-in refused", api + "auth",
         [](auto& f) {
             f.status = 500;
         }},
        {"sign-in cut off", api + "auth",
         [](auto& f) {
             f.cutBody = true;
         }},
        {"invitation check dropped", api + "invites/verify",
         [](auto& f) {
             f.dropConnection = true;
         }},
        {"address check refused", api + "visitors/search",
         [](auto& f) {
             f.status = 401;
             f.body = R"({"error":{"code":"AUTH","message":"bad token"}})";
         }},
        {"hall record broken", api + "exhibitions/1/halls/10/",
         [](auto& f) {
             f.status = 200;
             f.body = R"({"id":"ten"})";
         }},
        {"hall record cut off", api + "exhibitions/1/halls/10/",
         [](auto& f) {
             f.cutBody = true;
         }},
        {"everything answered", "", nullptr},
    };
    const std::string password = json::parse(ServiceClient::signInBody())["password"];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceFixture service;
        if (c.fault) {
            substitute::Fault fault;
            c.fault(fault);
            service.service().setFault(c.path, fault);
        }
        ASSERT_EQ(service.start(), "");
        TestLauncher t(service.url(""));
        QtMainThread mainThread;
        CurlHttp http(mainThread, kTestCa);
        t.useHttp(http);
        Launcher& launcher = *t.launcher;
        launcher.localVersion = QZ_VERSION{};
        launcher.localVersion->version = "1.0.0";
        launcher.ini = Ini::parse("Background_Loading=ON");
        t.alerts.answerNext(false); // go on without the sign-in when it fails

        SignInResult result = runSignInSequence(launcher, "1111-2222-3333", "visitor@example.com");
        if (!result.text.empty())
            launcher.writeLog(result.text); // as the sign-in view does before its alert
        ExhibitionDataSync(launcher).run([] {});

        std::vector<std::string> secrets{password};
        for (const auto& request : service.service().requests()) {
            std::string authorization = request.header("Authorization");
            if (authorization.rfind("Bearer ", 0) == 0)
                secrets.push_back(authorization.substr(7));
        }
        EXPECT_EQ(secrets.size() > 1, c.path != api + "auth");
        const std::string log = readFile(t.privateFolder() + "/Dravik_log.txt");
        for (const std::string& secret : secrets) {
            EXPECT_EQ(log.find(secret), std::string::npos) << secret;
            for (const auto& entry : fs::recursive_directory_iterator(t.temp.path()))
                EXPECT_EQ(entry.path().string().find(secret), std::string::npos) << entry.path();
        }
    }
}

} // namespace
} // namespace dravik::test
