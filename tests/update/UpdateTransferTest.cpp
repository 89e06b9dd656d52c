#include "update/UpdateTransfer.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMiB = 1048576;

std::string parked(const TestLauncher& t) {
    return t.base() + "/$Exhibition";
}

TEST(UpdateTransferTest, ParkingAndRestoringTheExhibitionFolder) {
    TestLauncher t;
    writeFile(t.exhibition("user.json"), "{}");

    EXPECT_TRUE(UpdateTransfer::parkExhibitionFolder(*t.launcher));
    EXPECT_EQ(readFile(parked(t) + "/user.json"), "{}");
    EXPECT_FALSE(UpdateTransfer::parkExhibitionFolder(*t.launcher)); // nothing left to park

    EXPECT_TRUE(UpdateTransfer::restoreExhibitionFolder(*t.launcher));
    EXPECT_EQ(readFile(t.exhibition("user.json")), "{}");
    EXPECT_FALSE(fs::exists(parked(t)));

    // With both folders present, restoring leaves both alone and parking refuses.
    fs::create_directories(parked(t));
    EXPECT_TRUE(UpdateTransfer::restoreExhibitionFolder(*t.launcher));
    EXPECT_FALSE(UpdateTransfer::parkExhibitionFolder(*t.launcher));
    EXPECT_TRUE(fs::exists(parked(t)));
    EXPECT_EQ(readFile(t.exhibition("user.json")), "{}");

    // Neither folder: restoring fails.
    fs::remove_all(parked(t));
    fs::remove_all(t.exhibition());
    EXPECT_FALSE(UpdateTransfer::restoreExhibitionFolder(*t.launcher));
}

TEST(UpdateTransferTest, BeginChecksTheRecordAndTheArchiveNameBeforeParking) {
    struct Case {
        const char* what;
        std::optional<std::string> fileUrl; // nullopt: record without file_url
        bool parkedAlready;
        UpdateStart outcome;
        const char* confirm;
    };
    const Case cases[] = {
        {"no file_url", std::nullopt, false, UpdateStart::Ignored, ""},
        {"unsafe name", "https://h/..%2Fx.zip", false, UpdateStart::Refused, "更新に失敗しました"},
        {"$Exhibition in the way", "https://h/r.zip", true, UpdateStart::NotParked,
         "更新できません"},
        {"started", "https://h/r%20x.zip", false, UpdateStart::Started, "しばらくお待ちください"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestLauncher t;
        t.launcher->remoteVersion = QZ_VERSION{};
        t.launcher->remoteVersion->file_url = c.fileUrl;
        if (c.parkedAlready)
            fs::create_directories(parked(t));

        UpdateStartResult result = UpdateTransfer::begin(*t.launcher);

        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.confirmText, c.confirm);
        bool started = c.outcome == UpdateStart::Started;
        EXPECT_EQ(t.launcher->closeBlocked.load(), started);
        EXPECT_EQ(fs::exists(t.exhibition()), !started);
        EXPECT_EQ(t.logLines().size(), c.outcome == UpdateStart::Refused ? 1u : 0u);
        if (started) {
            EXPECT_EQ(result.archivePath, t.privateFolder() + "/r x.zip");
            EXPECT_EQ(result.request.url, *c.fileUrl);
            EXPECT_EQ(result.request.method, "GET");
            EXPECT_TRUE(result.request.headers.empty());
            EXPECT_EQ(result.progressText, "ダウンロード中");
        }
    }
}

TEST(UpdateTransferTest, ProgressReports) {
    struct Case {
        int64_t written, expected;
        int bar;
        const char* label;
    };
    const Case cases[] = {
        {12 * kMiB, 345 * kMiB, 3, "ダウンロード中 (12/345 MB)"},
        {kMiB * 7 / 4, 10 * kMiB, 17, "ダウンロード中 (2/10 MB)"},
        {0, 0, 0, "ダウンロード中 (0/0 MB)"},
        {3 * kMiB, -1, -314572800, "ダウンロード中 (3/-0 MB)"},
    };
    TestLauncher t;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TransferProgress report = UpdateTransfer::progress(*t.launcher, c.written, c.expected);
        EXPECT_EQ(report.label, c.label);
        if (c.expected >= 0) {
            EXPECT_EQ(report.barValue, c.bar);
        } else {
            EXPECT_LT(report.barValue, 0);
        }
        EXPECT_FALSE(report.cancel);
    }
    t.launcher->closeRequested = true;
    EXPECT_TRUE(UpdateTransfer::progress(*t.launcher, 1, 2).cancel);
}

TEST(UpdateTransferTest, AnAnswerOutside2xxIsAFailedTransfer) {
    struct Case {
        const char* error;
        std::optional<int> status;
        const char* counted;
    };
    const Case cases[] = {
        {"", 200, ""},
        {"", 299, ""},
        {"", std::nullopt, ""},
        {"", 404, "HTTP 404"},
        {"", 199, "HTTP 199"},
        {"", 300, "HTTP 300"},
        {"HTTP 500", 500, "HTTP 500"},
        {"timed out", std::nullopt, "timed out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.counted);
        EXPECT_EQ(UpdateTransfer::transferError(c.error, c.status), c.counted);
    }
}

TEST(UpdateTransferTest, CompletionRestoresTheFolderThenDecides) {
    struct Case {
        const char* what;
        bool restorable;
        const char* error;
        bool cancelled;
        const char* archive;
        TransferEnd outcome;
        const char* text;
        bool closeBlockedAfter;
    };
    const Case cases[] = {
        {"success", true, "", false, "/p/r.zip", TransferEnd::Install, "更新中", true},
        {"no archive path", true, "", false, "", TransferEnd::NoArchive, "", true},
        {"network error", true, "timed out", false, "/p/r.zip", TransferEnd::Failed,
         "ダウンロードに失敗しました", false},
        {"cancelled", true, "cancelled", true, "/p/r.zip", TransferEnd::Cancelled, "", false},
        {"cannot restore", false, "", false, "/p/r.zip", TransferEnd::RestoreFailed,
         "フォルダのリネームに失敗しました", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestLauncher t;
        ASSERT_TRUE(UpdateTransfer::parkExhibitionFolder(*t.launcher));
        if (!c.restorable)
            fs::remove_all(parked(t));
        t.launcher->closeBlocked = true;

        TransferEndResult end =
            UpdateTransfer::completed(*t.launcher, c.error, c.cancelled, c.archive);

        EXPECT_EQ(end.outcome, c.outcome);
        EXPECT_EQ(end.text, c.text);
        EXPECT_EQ(t.launcher->closeBlocked.load(), c.closeBlockedAfter);
        EXPECT_EQ(fs::exists(t.exhibition()), c.restorable);
        if (!c.restorable) {
            EXPECT_EQ(t.logLines(), std::vector<std::string>{c.text});
        }
    }
}

} // namespace
} // namespace dravik::test
