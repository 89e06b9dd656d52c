#include "exhibition/ExhibitionDataSync.h"

#include "common/Ini.h"
#include "common/PartialDownload.h"
#include "support/FailingDisk.h"
#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Answers the hall request with a fixed reply and remembers what was asked.
class HallHttp : public Http {
public:
    Expected<HttpResponse> request(const HttpRequest& request) override {
        requests.push_back(request);
        return reply;
    }
    std::unique_ptr<Transfer> download(const HttpRequest&, const std::string&,
                                       TransferReceiver) override {
        return nullptr;
    }

    Expected<HttpResponse> reply = fail("no reply set");
    std::vector<HttpRequest> requests;
};

json fileList(const std::vector<std::string>& names) {
    json files = json::array();
    for (const auto& name : names)
        files.push_back({{"fileName", name}, {"uri", "https://files.example/" + name}});
    return files;
}

json hallRecord(const std::string& updatedAt = "H1", int hallSize = 1) {
    return {{"id", 3},
            {"name", "Hall"},
            {"updated_at", updatedAt},
            {"hallSize", hallSize},
            {"files", fileList({"hall.json", "sky.png"})},
            {"booths", {{"files", json::array()}, {"updated_ats", json::array()}}}};
}

void addBooth(json& hall, int64_t id, const std::vector<std::string>& names,
              const std::optional<std::string>& stamp) {
    hall["booths"]["files"].push_back({{"id", id}, {"files", fileList(names)}});
    if (stamp)
        hall["booths"]["updated_ats"].push_back({{"id", id}, {"updated_at", *stamp}});
}

std::string stampFile(const std::string& updatedAt) {
    return json{{"updated_at", updatedAt}}.dump();
}

struct Sync {
    Sync() {
        t.useHttp(http);
        signIn();
        t.launcher->ini = Ini::parse("Background_Loading=ON");
    }

    void signIn() {
        t.launcher->authRecord = QZ_AUTH{{}, "token-1"};
        t.launcher->invitedExhibitionId = 12;
        t.launcher->invitedHallId = 3;
    }
    void answer(const json& hall) { http.reply = HttpResponse{200, hall.dump()}; }
    // Runs the sync; true when it handed over.
    bool run() {
        bool handedOver = false;
        ExhibitionDataSync(*t.launcher).run([&] { handedOver = true; });
        return handedOver;
    }
    std::string folder(const std::string& relative = {}) const {
        std::string hall = t.exhibition("BackgroundData/exhibition12_hall3");
        return relative.empty() ? hall : hall + "/" + relative;
    }
    const DownloadList& list() const { return t.launcher->downloadList; }

    HallHttp http;
    TestLauncher t;
};

TEST(ExhibitionDataSyncTest, HallRequestCarriesTheTokenAndItsReplyIsKept) {
    Sync s;
    json hall = hallRecord();
    s.answer(hall);
    EXPECT_TRUE(s.run());

    ASSERT_EQ(s.http.requests.size(), 1u);
    const HttpRequest& request = s.http.requests[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.url, "https://127.0.0.1:1/exhibition/api/v1/exhibitions/12/halls/3/");
    ASSERT_EQ(request.headers.size(), 1u);
    EXPECT_EQ(request.headers[0].first, "Authorization");
    EXPECT_EQ(request.headers[0].second, "Bearer token-1");
    EXPECT_EQ(readFile(s.t.privateFolder() + "/hall.json"), hall.dump());
}

TEST(ExhibitionDataSyncTest, UnusableRepliesHandOverWithoutData) {
    struct Case {
        const char* what;
        Expected<HttpResponse> reply;
        bool copyKept;
        bool alerted;
        const char* logged = nullptr; // the failed request's line ends so
    };
    const Case cases[] = {
        {"transport failure", fail("Connection refused"), false, false, " - Connection refused"},
        {"not found", HttpResponse{404, R"({"error":{"code":"NOT_FOUND","message":"m"}})"}, false,
         false, " - 404(NOT_FOUND)"},
        {"200 without body", HttpResponse{200, std::nullopt}, false, false, " - empty reply"},
        {"200 with empty body", HttpResponse{200, ""}, false, false, " - empty reply"},
        {"not a hall", HttpResponse{200, R"({"id":3})"}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sync s;
        s.http.reply = c.reply;
        EXPECT_TRUE(s.run());
        EXPECT_EQ(fs::exists(s.t.privateFolder() + "/hall.json"), c.copyKept);
        EXPECT_TRUE(s.list().empty());
        auto alerts = s.t.alerts.texts();
        ASSERT_EQ(alerts.size(), c.alerted ? 1u : 0u);
        if (c.alerted) {
            EXPECT_EQ(alerts[0].rfind("<ファイルダウンロードの準備>", 0), 0u) << alerts[0];
            EXPECT_GT(alerts[0].size(), std::string("<ファイルダウンロードの準備>").size());
            EXPECT_EQ(s.t.logLines().back(), alerts[0]);
        }
        if (c.logged) {
            ASSERT_FALSE(s.t.logLines().empty());
            EXPECT_EQ(s.t.logLines().back(),
                      "Hall request failed: https://127.0.0.1:1/exhibition/api/v1/exhibitions/12/"
                      "halls/3/" +
                          std::string(c.logged));
        }
    }
}

TEST(ExhibitionDataSyncTest, LobbyDisplayRules) {
    struct Case {
        const char* what;
        std::optional<std::string> setting; // LobbyDisplay in Dravik.json; none: no file
        bool signedIn;
        int hallSize;
        std::optional<bool> expected;   // user.json's LobbyDisplay; none: member absent
        const char* settings = nullptr; // the whole Dravik.json instead
    };
    const Case cases[] = {
        {"ON without a sign-in", "ON", false, 1, true},
        {"off wins over the hall", "off", true, 1, false},
        {"AUTO, hall size 3", "AUTO", true, 3, false},
        {"auto, hall size 1", "auto", true, 1, true},
        {"default AUTO, hall size 2", std::nullopt, true, 2, true},
        {"default AUTO, hall size 3", std::nullopt, true, 3, false},
        {"AUTO without a sign-in", "AUTO", false, 3, std::nullopt},
        {"other values leave it alone", "yes", true, 3, std::nullopt},
        {"empty is AUTO", "", true, 3, false},
        {"missing is AUTO", std::nullopt, true, 3, false, R"({"update":"ON"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sync s;
        writeFile(s.t.exhibition("user.json"),
                  R"({"invitecode":"1111-2222-3333","email":"v@example.com","viewer":1})");
        if (c.setting)
            writeFile(s.t.exhibition("Dravik.json"), json{{"LobbyDisplay", *c.setting}}.dump());
        if (c.settings)
            writeFile(s.t.exhibition("Dravik.json"), c.settings);
        if (!c.signedIn)
            s.t.launcher->authRecord.reset();
        s.answer(hallRecord("H1", c.hallSize));
        EXPECT_TRUE(s.run());

        json user = json::parse(readFile(s.t.exhibition("user.json")));
        EXPECT_EQ(user["invitecode"], "1111-2222-3333");
        EXPECT_EQ(user["viewer"], 1);
        if (c.expected)
            EXPECT_EQ(user["LobbyDisplay"], *c.expected);
        else
            EXPECT_FALSE(user.contains("LobbyDisplay"));
        EXPECT_EQ(s.http.requests.size(), c.signedIn ? 1u : 0u);
    }
}

TEST(ExhibitionDataSyncTest, LobbyDisplayNeedsAUserFileAndReportsABrokenOne) {
    Sync s;
    writeFile(s.t.exhibition("Dravik.json"), R"({"LobbyDisplay":"ON"})");
    s.answer(hallRecord());
    EXPECT_TRUE(s.run());
    EXPECT_FALSE(fs::exists(s.t.exhibition("user.json")));
    EXPECT_TRUE(s.t.alerts.texts().empty());

    Sync broken;
    writeFile(broken.t.exhibition("Dravik.json"), R"({"LobbyDisplay":"ON"})");
    writeFile(broken.t.exhibition("user.json"), "not json");
    broken.answer(hallRecord());
    EXPECT_TRUE(broken.run());
    EXPECT_EQ(readFile(broken.t.exhibition("user.json")), "not json");
    EXPECT_EQ(broken.t.alerts.texts().size(), 1u);
    EXPECT_EQ(broken.list().size(), 1u); // the sync went on
}

TEST(ExhibitionDataSyncTest, WithoutBackgroundLoadingNoFolderIsTouched) {
    Sync s;
    s.t.launcher->ini = Ini();
    writeFile(s.t.exhibition("user.json"), "{}");
    writeFile(s.folder("old.png"), "old");
    writeFile(s.folder("updated_at.json"), stampFile("H0"));
    writeFile(s.folder("7/updated_at.json"), stampFile("B0"));
    json hall = hallRecord("H1", 3);
    addBooth(hall, 7, {"a.png"}, "B1");
    s.answer(hall);
    EXPECT_TRUE(s.run());

    EXPECT_EQ(s.http.requests.size(), 1u);
    EXPECT_EQ(readFile(s.t.privateFolder() + "/hall.json"), hall.dump());
    EXPECT_EQ(json::parse(readFile(s.t.exhibition("user.json")))["LobbyDisplay"], false);
    EXPECT_TRUE(s.list().empty());
    EXPECT_TRUE(fs::exists(s.folder("old.png")));
    EXPECT_TRUE(fs::exists(s.folder("7/updated_at.json")));
}

TEST(ExhibitionDataSyncTest, BoothFoldersAreRefreshedWhenTheirStampsDiffer) {
    struct Case {
        const char* what;
        std::optional<std::string> localStamp;   // the stamp file's text; none: no stamp file
        std::optional<std::string> serviceStamp; // none: no updated_ats entry
        std::vector<std::string> files;
        bool removed;
        bool queued;
    };
    const std::vector<std::string> two = {"poster.png", "booth.json"};
    const Case cases[] = {
        {"unchanged", stampFile("2025-04-02 09:00:00"), "2025-04-02 09:00:00", two, false, false},
        {"changed", stampFile("2025-04-01 09:00:00"), "2025-04-02 09:00:00", two, true, true},
        {"no stamp file", std::nullopt, "2025-04-02 09:00:00", two, true, true},
        {"invalid stamp file", "{", "2025-04-02 09:00:00", two, true, true},
        {"letter case differs", stampFile("2025-04-02t09:00:00"), "2025-04-02T09:00:00", two, true,
         true},
        {"white space differs", stampFile("2025-04-02 09:00:00 "), "2025-04-02 09:00:00", two, true,
         true},
        {"changed, no files", stampFile("old"), "new", {}, true, false},
        {"no service stamp, no stamp file", std::nullopt, std::nullopt, two, false, false},
        {"no service stamp, stamp left over", stampFile("old"), std::nullopt, two, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sync s;
        writeFile(s.folder("updated_at.json"), stampFile("H1"));
        writeFile(s.folder("57/poster.png"), "old poster");
        if (c.localStamp)
            writeFile(s.folder("57/updated_at.json"), *c.localStamp);
        json hall = hallRecord("H1");
        addBooth(hall, 57, c.files, c.serviceStamp);
        s.answer(hall);
        EXPECT_TRUE(s.run());

        EXPECT_EQ(fs::exists(s.folder("57")), !c.removed);
        ASSERT_EQ(s.list().size(), c.queued ? 1u : 0u);
        if (c.queued) {
            const DOWNLOAD_FILES& entry = s.list()[0];
            EXPECT_EQ(entry.boothId, 57);
            EXPECT_EQ(entry.path, s.folder("57"));
            EXPECT_EQ(entry.updated_at, c.serviceStamp.value_or(""));
            ASSERT_EQ(entry.downloadFileList.size(), 2u);
            EXPECT_EQ(entry.downloadFileList[0].filename, "poster.png");
            EXPECT_EQ(entry.downloadFileList[0].uri, "https://files.example/poster.png");
            EXPECT_EQ(entry.downloadFileList[1].filename, "booth.json");
        }
    }
}

TEST(ExhibitionDataSyncTest, AnOutdatedFolderKeepsOnlyThePartialDownloadsOfItsNewData) {
    const auto now = std::chrono::system_clock::now();
    struct Case {
        const char* what;
        std::string partialTag;
        std::chrono::system_clock::time_point started;
        bool kept;
    };
    const Case cases[] = {
        {"of the new data", "S2", now, true},
        {"of the data before", "S1", now, false},
        {"older than a week", "S2", now - PartialDownload::kLifetime, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sync s;
        writeFile(s.folder("updated_at.json"), stampFile("H1"));
        writeFile(s.folder("57/booth.json"), "old");
        const std::string partial = PartialDownload::dataPath(s.folder("57"), "poster.png");
        writeFile(partial, "half a poster");
        PartialDownload kept{"https://files.example/poster.png", c.partialTag, "\"e\"", c.started};
        ASSERT_TRUE(kept.write(partial));
        json hall = hallRecord("H1");
        addBooth(hall, 57, {"poster.png", "booth.json"}, "S2");
        s.answer(hall);
        EXPECT_TRUE(s.run());

        EXPECT_FALSE(fs::exists(s.folder("57/booth.json")));
        EXPECT_EQ(fs::exists(partial), c.kept);
        EXPECT_EQ(fs::exists(PartialDownload::infoPath(partial)), c.kept);
        EXPECT_EQ(s.list().size(), 1u);
    }
}

TEST(ExhibitionDataSyncTest, HallRefreshRemovesPlainFilesAndKeepsBoothFolders) {
    Sync s;
    writeFile(s.folder("updated_at.json"), stampFile("H0"));
    writeFile(s.folder("sky.png"), "old sky");
    writeFile(s.folder(".partial"), "x");
    writeFile(s.folder("5/updated_at.json"), stampFile("B5"));
    writeFile(s.folder("5/a.png"), "a");
    writeFile(s.folder("9/gone.png"), "booth no longer in the hall");
    json hall = hallRecord("H1");
    addBooth(hall, 5, {"a.png"}, "B5");
    addBooth(hall, 6, {"b.png", "c.png"}, "B6");
    s.answer(hall);
    EXPECT_TRUE(s.run());

    EXPECT_FALSE(fs::exists(s.folder("updated_at.json")));
    EXPECT_FALSE(fs::exists(s.folder("sky.png")));
    EXPECT_FALSE(fs::exists(s.folder(".partial")));
    EXPECT_EQ(readFile(s.folder("5/a.png")), "a");
    EXPECT_EQ(readFile(s.folder("9/gone.png")), "booth no longer in the hall");

    // The hall's files first, then the booths in the hall's order.
    ASSERT_EQ(s.list().size(), 2u);
    EXPECT_EQ(s.list()[0].boothId, -1);
    EXPECT_EQ(s.list()[0].path, s.folder());
    EXPECT_EQ(s.list()[0].updated_at, "H1");
    ASSERT_EQ(s.list()[0].downloadFileList.size(), 2u);
    EXPECT_EQ(s.list()[0].downloadFileList[0].filename, "hall.json");
    EXPECT_EQ(s.list()[0].downloadFileList[1].filename, "sky.png");
    EXPECT_EQ(s.list()[1].boothId, 6);
    EXPECT_EQ(s.list()[1].updated_at, "B6");

    // Once stamped, a second run leaves everything alone.
    writeFile(s.folder("updated_at.json"), stampFile("H1"));
    writeFile(s.folder("sky.png"), "new sky");
    writeFile(s.folder("6/updated_at.json"), stampFile("B6"));
    s.t.launcher->downloadList.clear();
    EXPECT_TRUE(s.run());
    EXPECT_TRUE(s.list().empty());
    EXPECT_EQ(readFile(s.folder("sky.png")), "new sky");

    // A folder where the hall's stamp belongs could never be replaced by the stamp, and the
    // hall's files would download on every run: it goes like a plain file.
    fs::remove(s.folder("updated_at.json"));
    fs::create_directories(s.folder("updated_at.json/inside"));
    EXPECT_TRUE(s.run());
    EXPECT_FALSE(fs::exists(s.folder("updated_at.json")));
    ASSERT_FALSE(s.list().empty());
    EXPECT_EQ(s.list()[0].boothId, -1);
}

TEST(ExhibitionDataSyncTest, AHallFolderThatCannotBeListedStopsTheRefresh) {
    Sync s;
    writeFile(s.folder(), "a file where the folder belongs");
    json hall = hallRecord("H1");
    addBooth(hall, 5, {"a.png"}, "B5");
    s.answer(hall);
    EXPECT_TRUE(s.run());

    auto alerts = s.t.alerts.texts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("<ファイルダウンロードの準備>", 0), 0u);
    EXPECT_TRUE(s.list().empty()); // booths were not examined
}

TEST(ExhibitionDataSyncTest, NothingIsFetchedIntoABoothFolderThatCannotBeEmptied) {
    Sync s;
    writeFile(s.folder("updated_at.json"), stampFile("H1"));
    writeFile(s.folder("57/poster.png"), "old poster");
    writeFile(s.folder("57/updated_at.json"), stampFile("old"));
    json hall = hallRecord("H1");
    addBooth(hall, 57, {"poster.png"}, "new");
    addBooth(hall, 58, {"b.png"}, "B58");
    s.answer(hall);
    test::LockedFolder locked(s.t.temp.path(), s.folder("57"));
    testing::internal::CaptureStdout();
    bool handedOver = false;
    locked.run([&] { handedOver = s.run(); });
    testing::internal::GetCapturedStdout();
    if (!locked.effective())
        GTEST_SKIP() << "no way to keep a folder's entries here";

    EXPECT_TRUE(handedOver);
    ASSERT_EQ(s.list().size(), 1u);
    EXPECT_EQ(s.list()[0].boothId, 58);
    EXPECT_EQ(readFile(s.folder("57/updated_at.json")), stampFile("old"));
}

TEST(ExhibitionDataSyncTest, NamesThatWouldLeaveTheirFolderRefuseTheWholeFolder) {
    const std::string unsafe[] = {
        "../escape.png", "/etc/passwd", "sub/dir.png", "", "..", ".", std::string("nul\0.png", 8)};
    for (const std::string& name : unsafe) {
        SCOPED_TRACE(name);
        Sync s;
        json hall = hallRecord("H1");
        hall["files"] = fileList({"fine.png", name});
        addBooth(hall, 5, {"a.png", name}, "B5");
        addBooth(hall, 6, {"b.png"}, "B6");
        s.answer(hall);
        EXPECT_TRUE(s.run());

        // Only the booth without the bad name is fetched; nothing was written outside.
        ASSERT_EQ(s.list().size(), 1u);
        EXPECT_EQ(s.list()[0].boothId, 6);
        EXPECT_FALSE(fs::exists(s.t.exhibition("BackgroundData/escape.png")));
        int refusals = 0;
        for (const std::string& line : s.t.logLines())
            refusals += line.find("refused name") != std::string::npos;
        EXPECT_EQ(refusals, 2);
        EXPECT_TRUE(s.t.alerts.texts().empty());
    }
}

} // namespace
} // namespace dravik::test
