#include "exhibition/DownloadProgress.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(DownloadProgressTest, LabelTexts) {
    struct SizeCase {
        int64_t written, expected;
        const char* label;
        int percent;
    };
    const SizeCase sizes[] = {
        {51200, 102400, "50 / 100 KB", 50},
        {512000, 2097152, "0 / 2 MB", 24},
        {1048576, 1048576, "1024 / 1024 KB", 100},
        {1048577, 1048577, "1 / 1 MB", 100},
        {1536, 4096, "2 / 4 KB", 37}, // rounded, not cut
        {1000, -1, "1 / -0 KB", 0},   // size unknown
        {10, 0, "0 / 0 KB", 0},
        {300, 200, "0 / 0 KB", 100}, // more than announced
    };
    for (const SizeCase& c : sizes) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(DownloadProgress::sizeLabel(c.written, c.expected), c.label);
        EXPECT_EQ(DownloadProgress::percentOfFile(c.written, c.expected), c.percent);
    }

    EXPECT_EQ(DownloadProgress::elapsedLabel(400ms), "経過時間:0");
    EXPECT_EQ(DownloadProgress::elapsedLabel(12600ms), "経過時間:13");
    EXPECT_EQ(DownloadProgress::fileCountLabel(3, 12), "3/12 ファイル");

    DOWNLOAD_FILE poster{"poster.png", "https://h/p"};
    EXPECT_EQ(DownloadProgress::fileNameLabel({57, "/b", "", {poster}}, poster), "57/poster.png");
    EXPECT_EQ(DownloadProgress::fileNameLabel({0, "/b", "", {poster}}, poster), "0/poster.png");
    EXPECT_EQ(DownloadProgress::fileNameLabel({-1, "/b", "", {poster}}, poster), "poster.png");

    EXPECT_EQ(DownloadProgress::failureText("57/a.png", "HTTP 404", 404),
              "Download failed: 57/a.png - HTTP 404");
    EXPECT_EQ(DownloadProgress::failureText("a.png", "Timed out", std::nullopt),
              "Download failed: a.png - Timed out");
    EXPECT_EQ(DownloadProgress::failureText("a.png", "cut off", 200),
              "Download failed: a.png - cut off (HTTP 200)");
}

TEST(DownloadProgressTest, ExhibitionAndHallNames) {
    QZ_AUTH auth;
    auth.exhibitions = {
        {1, "春の展示会", "", "",
         std::vector<QZ_HALLINFO>{{10, "ロビー"}, {11, "A"}, {10, "ロビー2"}}},
        {1, "同じ番号", "", "", std::vector<QZ_HALLINFO>{{12, "B"}}},
        {2, "ホールなし", "", "", std::nullopt},
    };
    struct Case {
        std::optional<int64_t> exhibition, hall;
        const char* exhibitionName;
        const char* hallName;
    };
    const Case cases[] = {
        {1, 10, "春の展示会", "ロビー2"}, // the last hall with the id
        {1, 11, "春の展示会", "A"},
        {1, 12, "春の展示会", ""}, // only the first exhibition
                                   // with the id counts
        {2, 10, "ホールなし", ""},
        {3, 10, "", ""},
        {std::nullopt, 10, "", ""},
        {1, std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        ExhibitionNames names = DownloadProgress::exhibitionNames(auth, c.exhibition, c.hall);
        EXPECT_EQ(names.exhibition, c.exhibitionName);
        EXPECT_EQ(names.hall, c.hallName);
    }
    EXPECT_EQ(DownloadProgress::exhibitionNames(std::nullopt, 1, 10).exhibition, "");
}

struct Listed {
    Listed() {
        t.launcher->authRecord = QZ_AUTH{{}, "tok"};
        t.launcher->downloadList = {
            {-1, t.exhibition("hall"), "H1", {{"a.png", "https://h/a"}, {"b.png", "https://h/b"}}},
            {7, t.exhibition("hall/7"), "B7", {{"c.png", "https://h/c"}}},
        };
    }
    bool stamped(const std::string& folder) const {
        return fs::exists(t.exhibition(folder + "/updated_at.json"));
    }
    TestLauncher t{"https://h"};
};

TEST(DownloadProgressTest, StepsThroughTheListAndStampsEachCompletedFolder) {
    Listed l;
    fs::create_directories(l.t.exhibition("hall/7"));
    DownloadProgress progress(*l.t.launcher);
    using Next = DownloadProgress::Next;
    EXPECT_EQ(progress.total(), 3);

    EXPECT_EQ(progress.fileNameLabel(), "a.png");
    EXPECT_EQ(*progress.destination(), l.t.exhibition("hall/a.png"));
    HttpRequest request = progress.request();
    EXPECT_EQ(request.url, "https://h/a");
    ASSERT_EQ(request.headers.size(), 1u);
    EXPECT_EQ(request.headers[0].second, "Bearer tok");

    EXPECT_EQ(progress.completed(), Next::StartNext);
    EXPECT_EQ(progress.fileNameLabel(), "b.png");
    EXPECT_FALSE(l.stamped("hall"));

    EXPECT_EQ(progress.completed(), Next::StartNext);
    EXPECT_EQ(readFile(l.t.exhibition("hall/updated_at.json")), R"({"updated_at":"H1"})");
    EXPECT_EQ(progress.fileNameLabel(), "7/c.png");
    EXPECT_EQ(*progress.destination(), l.t.exhibition("hall/7/c.png"));
    EXPECT_FALSE(l.stamped("hall/7"));

    EXPECT_EQ(progress.completed(), Next::Finish);
    EXPECT_EQ(readFile(l.t.exhibition("hall/7/updated_at.json")), R"({"updated_at":"B7"})");
    EXPECT_EQ(progress.downloadedCount(), 3);
    EXPECT_TRUE(progress.atEnd());
}

TEST(DownloadProgressTest, TheTokenGoesOnlyToTheServicesSchemeHostAndPort) {
    TestLauncher t{"https://Svc.Example"};
    t.launcher->authRecord = QZ_AUTH{{}, "tok"};
    const std::pair<const char*, bool> cases[] = {
        {"https://svc.example/files/a.png", true},
        {"HTTPS://SVC.EXAMPLE:443/a.png", true},
        {"https://svc.example", true},
        {"https://svc.example:8443/a.png", false},
        {"http://svc.example/a.png", false},
        {"https://cdn.example/a.png", false},
        {"https://svc.example.cdn.example/a.png", false},
        {"https://svc.example@cdn.example/a.png", false},
        {"https://cdn.example/a.png?from=https://svc.example/", false},
        {"svc.example/a.png", false},
    };
    for (const auto& [uri, withToken] : cases) {
        SCOPED_TRACE(uri);
        t.launcher->downloadList = {{-1, t.exhibition("hall"), "H", {{"a.png", uri}}}};
        EXPECT_EQ(DownloadProgress(*t.launcher).request().headers.size(), withToken ? 1u : 0u);
    }

    // Hosts an operator lists in Token_Hosts get it too; an entry that is none is logged.
    t.launcher->ini = Ini::parse("Token_Hosts= CDN.example ,not a host");
    const std::pair<const char*, bool> listed[] = {
        {"https://cdn.example/a.png", true},
        {"https://cdn.example:8443/a.png", false},
        {"http://cdn.example/a.png", false},
        {"https://other.example/a.png", false},
    };
    for (const auto& [uri, withToken] : listed) {
        SCOPED_TRACE(uri);
        t.launcher->downloadList = {{-1, t.exhibition("hall"), "H", {{"a.png", uri}}}};
        EXPECT_EQ(DownloadProgress(*t.launcher).request().headers.size(), withToken ? 1u : 0u);
    }
    auto log = runLogLines(t.launcher->privateFolder);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("\"not a host\" skipped"), std::string::npos) << log.back();
}

TEST(DownloadProgressTest, ParallelDownloadsIsOneUnlessAWholeNumberFromOneToEight) {
    TestLauncher t;
    const std::pair<const char*, int> cases[] = {
        {"", 1},
        {"Parallel_Downloads=", 1},
        {"Parallel_Downloads=6", 6},
        {"Parallel_Downloads=8", 8},
        {"Parallel_Downloads=0", 1},
        {"Parallel_Downloads=-3", 1},
        {"Parallel_Downloads=99", 1},
        {"Parallel_Downloads=abc", 1},
        {"Parallel_Downloads=4x", 1},
    };
    size_t lines = runLogLines(t.launcher->privateFolder).size();
    for (const auto& [ini, parallel] : cases) {
        SCOPED_TRACE(ini);
        t.launcher->ini = Ini::parse(ini);
        EXPECT_EQ(DownloadProgress::parallelDownloads(*t.launcher), parallel);
        // Anything but a valid, absent or empty value is logged.
        bool silent = parallel > 1 || std::string(ini).find('=') + 1 == std::string(ini).size() ||
                      std::string(ini).empty();
        size_t now = runLogLines(t.launcher->privateFolder).size();
        EXPECT_EQ(now - lines, silent ? 0u : 1u);
        lines = now;
    }
}

TEST(DownloadProgressTest, AFileThatIsNotInPlaceLeavesItsFolderUnstamped) {
    Listed l;
    fs::create_directories(l.t.exhibition("hall/7"));
    DownloadProgress progress(*l.t.launcher);
    progress.markCurrentFileMissing();
    EXPECT_EQ(progress.completed(), DownloadProgress::Next::StartNext);
    EXPECT_EQ(progress.completed(), DownloadProgress::Next::StartNext);
    EXPECT_FALSE(l.stamped("hall"));
    // The next folder starts afresh.
    EXPECT_EQ(progress.completed(), DownloadProgress::Next::Finish);
    EXPECT_TRUE(l.stamped("hall/7"));
}

TEST(DownloadProgressTest, UnsafeNamesAndUnwritableStamps) {
    TestLauncher t;
    t.launcher->downloadList = {{3, t.exhibition("x"), "S", {{"../up.png", "https://h/u"}}}};
    DownloadProgress progress(*t.launcher);
    EXPECT_FALSE(progress.destination());

    // The folder is gone: the stamp is not written, and nothing else happens.
    EXPECT_FALSE(DownloadProgress::writeStamp(t.exhibition("missing"), "S"));
    EXPECT_EQ(progress.completed(), DownloadProgress::Next::Finish);
}

} // namespace
} // namespace dravik::test
