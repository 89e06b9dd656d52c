#include "ExhibitionData.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kestrane {
namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

class ExhibitionDataTest : public ::testing::Test {
protected:
    QString base() const { return m_dir.path(); }
    QString data(const QString& relative) const {
        return base() + "/Exhibition/BackgroundData/" + relative;
    }
    QTemporaryDir m_dir;
};

TEST_F(ExhibitionDataTest, StampsAndCounts) {
    struct Case {
        const char* name;
        const char* stampFile; // nullptr: no stamp file
        StampState state;
        const char* stamp;
    } cases[] = {
        {"recorded", R"({"updated_at":"2025-04-03 12:00:00"})", StampState::Present,
         "2025-04-03 12:00:00"},
        {"empty", R"({"updated_at":""})", StampState::Present, ""},
        {"none", nullptr, StampState::Missing, ""},
        {"garbage", "{not json", StampState::Invalid, ""},
        {"number", R"({"updated_at":20250403})", StampState::Invalid, ""},
        {"array", R"(["2025-04-03"])", StampState::Invalid, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = data(QString("exhibition1_hall1/") + c.name);
        writeFile(folder + "/poster.png", QByteArray(1000, 'p'));
        writeFile(folder + "/booth.json", "{}");
        writeFile(folder + "/.download-Ab12Cd", QByteArray(500, 'x'));
        if (c.stampFile)
            writeFile(folder + "/updated_at.json", c.stampFile);
        FolderSummary summary = summarizeFolder(folder, c.name, 7);
        EXPECT_EQ(summary.stampState, c.state);
        EXPECT_EQ(summary.stamp, QString::fromUtf8(c.stamp));
        EXPECT_EQ(summary.files, 2);
        EXPECT_EQ(summary.bytes, 1002);
        EXPECT_EQ(summary.receiving, 1);
    }
}

TEST_F(ExhibitionDataTest, HallsAndBoothsInNumericOrder) {
    EXPECT_TRUE(scanBackgroundData(base()).isEmpty());
    for (const char* folder :
         {"exhibition1_hall12/120", "exhibition1_hall12/9", "exhibition1_hall2/5",
          "exhibition10_hall1/1", "exhibition1_hall12/poster", "other/3", "exhibition1_hallX/4"})
        QDir().mkpath(data(folder));
    writeFile(data("exhibition1_hall12/hall.json"), "{}");
    writeFile(data("exhibition1_hall12/stray.txt"), "");

    const QList<HallSummary> halls = scanBackgroundData(base());
    ASSERT_EQ(halls.size(), 3);
    EXPECT_EQ(halls[0].folder.name, "exhibition1_hall2");
    EXPECT_EQ(halls[1].folder.name, "exhibition1_hall12");
    EXPECT_EQ(halls[1].exhibitionId, 1);
    EXPECT_EQ(halls[1].folder.id, 12);
    EXPECT_EQ(halls[1].folder.files, 2); // hall-level files only, booth folders not counted
    ASSERT_EQ(halls[1].booths.size(), 2);
    EXPECT_EQ(halls[1].booths[0].id, 9);
    EXPECT_EQ(halls[1].booths[1].id, 120);
    EXPECT_EQ(halls[2].exhibitionId, 10);
}

TEST_F(ExhibitionDataTest, LobbyDisplay) {
    const QString user = base() + "/Exhibition/user.json";
    EXPECT_EQ(readLobbyDisplay(base()), LobbyState::NoFile);
    struct Case {
        const char* json;
        LobbyState state;
    } cases[] = {
        {R"({"invitecode":"111122223333","email":"a@b.jp","LobbyDisplay":true})", LobbyState::On},
        {R"({"LobbyDisplay":false})", LobbyState::Off},
        {R"({"invitecode":"111122223333"})", LobbyState::NotSet},
        {R"({"LobbyDisplay":"ON"})", LobbyState::NotBoolean},
        {R"([true])", LobbyState::Unreadable},
        {"", LobbyState::Unreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        writeFile(user, c.json);
        EXPECT_EQ(readLobbyDisplay(base()), c.state);
    }
}

TEST_F(ExhibitionDataTest, Parameters) {
    ParameterSheet missing = readParameters(base());
    EXPECT_FALSE(missing.fileFound);
    ASSERT_EQ(missing.rows.size(), 27);
    EXPECT_FALSE(missing.rows[0].present);

    writeFile(base() + "/Exhibition/FPSControllerParameter.json", R"({
        "rotateSpeed_mouse": 20, "moveSpeed_pc": 1.5, "optionBGMName": "CelticMusic",
        "isFullScreen": false, "isRangeAutoControl": null, "qualityLevel": "high",
        "screenWidth": 1280, "screenHeight": 720.5, "prevInviteCode": ""})");
    ParameterSheet sheet = readParameters(base());
    EXPECT_TRUE(sheet.readable);
    auto value = [&](const char* key) {
        for (const ParameterRow& row : sheet.rows) {
            if (row.key == key)
                return row.present ? row.value : QString("<absent>");
        }
        return QString("<unknown>");
    };
    EXPECT_EQ(value("rotateSpeed_mouse"), "20");
    EXPECT_EQ(value("moveSpeed_pc"), "1.5");
    EXPECT_EQ(value("optionBGMName"), "CelticMusic");
    EXPECT_EQ(value("isFullScreen"), "オフ");
    EXPECT_EQ(value("isRangeAutoControl"), "null");
    EXPECT_EQ(value("qualityLevel"), "\"high\"");
    EXPECT_EQ(value("gammaValue"), "<absent>");
    EXPECT_EQ(value("prevInviteCode"), "<unknown>");
    EXPECT_EQ(sheet.screenWidth, 1280);
    EXPECT_EQ(sheet.screenHeight, 0); // not an integer
    EXPECT_FALSE(sheet.fullScreen);

    writeFile(base() + "/Exhibition/FPSControllerParameter.json", "not json");
    sheet = readParameters(base());
    EXPECT_TRUE(sheet.fileFound);
    EXPECT_FALSE(sheet.readable);
}

} // namespace
} // namespace kestrane
