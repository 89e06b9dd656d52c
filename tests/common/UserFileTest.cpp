#include "common/UserFile.h"

#include "support/FailingDisk.h"
#include "support/StateFileTest.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

namespace dravik::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::StartsWith;

class UserFileTest : public StateFileTest {
protected:
    UserFileTest() : StateFileTest("user.json") {}
    UserFile user() { return UserFile(*t.launcher); }
};

TEST_F(UserFileTest, LoadUser) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {R"({"invitecode": "123412341234", "email": "a@b.jp", "LobbyDisplay": false})",
         "123412341234", "a@b.jp"},
        {R"({"invitecode": "1"})", "", ""},
        {R"({"invitecode": "1", "email": null})", "", ""},
        {R"({"invitecode": 1, "email": "e"})", "", ""},
        {R"({"invitecode": "1", "email": "e")", "", ""},
        {R"([])", "", ""},
    };
    EXPECT_EQ(user().loadUser().email, "");
    for (const auto& [content, code, email] : cases) {
        writeFile(file(), content);
        QZ_USER loaded = user().loadUser();
        EXPECT_EQ(loaded.invitecode, code) << content;
        EXPECT_EQ(loaded.email, email) << content;
    }
}

TEST_F(UserFileTest, SavePatchesAnExistingObject) {
    writeFile(file(), R"({"LobbyDisplay": true, "email": "old@x", "visitorData": {"n": [1]},
                         "invitecode": "old"})");
    ASSERT_TRUE(user().saveUser({"111122223333", "new@x"}));
    std::string text = readFile(file());
    EXPECT_THAT(keysInOrder(text),
                ElementsAre("LobbyDisplay", "email", "visitorData", "invitecode"));
    auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json["email"], "new@x");
    EXPECT_EQ(json["invitecode"], "111122223333");
    EXPECT_EQ(json["LobbyDisplay"], true);
    EXPECT_EQ(json["visitorData"]["n"][0], 1);
}

TEST_F(UserFileTest, SaveWritesAFreshFileWhenThereIsNoUsableOne) {
    const std::string fresh = R"({"invitecode":"1234-5678-9012","email":"a+b@c.jp"})";
    for (const std::string existing : {"", "{\"email\": ", "[1, 2]", "\"text\""}) {
        SCOPED_TRACE(existing);
        fs::remove(file());
        if (!existing.empty())
            writeFile(file(), existing);
        ASSERT_TRUE(user().saveUser({"1234-5678-9012", "a+b@c.jp"}));
        EXPECT_EQ(readFile(file()), fresh);
    }
    fs::remove_all(t.exhibition());
    ASSERT_TRUE(user().saveUser({"1234-5678-9012", "a+b@c.jp"}));
    EXPECT_EQ(readFile(file()), fresh);
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST_F(UserFileTest, SaveFailures) {
    // An existing file that cannot be read ends the save with the read error.
    fs::create_directory(file());
    Status status = user().saveUser({"1", "e"});
    EXPECT_FALSE(status);
    EXPECT_EQ(status.error(), "Is a directory");
    fs::remove(file());

    // The fresh file cannot be written.
    fs::create_symlink(t.temp / "missing/user.json", file());
    testing::internal::CaptureStdout();
    status = user().saveUser({"1", "e"});
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(status);
    EXPECT_EQ(status.error(), "Exhibition/user.json: No such file or directory");
    EXPECT_TRUE(t.alerts.texts().empty());

    // A full disk: the rewrite fails, the file keeps every member, and the error says why.
    fs::remove(file());
    const std::string stored =
        R"({"invitecode":"1","email":"e","viewer":")" + std::string(3500, 'v') + R"("})";
    writeFile(file(), stored);
    {
        FileSizeLimit full(1024);
        testing::internal::CaptureStdout();
        status = user().saveUser({"2", "f"});
        testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(status.error(), "Exhibition/user.json: " + std::string(std::strerror(EFBIG)));
    EXPECT_EQ(readFile(file()), stored);

    // The Exhibition folder cannot be created: its alert, and an error.
    fs::remove_all(t.exhibition());
    writeFile(t.exhibition(), "a file");
    testing::internal::CaptureStdout();
    status = user().saveUser({"1", "e"});
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(status.error(), "Exhibition/user.json: the folder Exhibition cannot be created");
    EXPECT_EQ(t.alerts.texts().size(), 1u);
}

TEST_F(UserFileTest, ClearStoredEmail) {
    user().clearStoredEmail(); // no file: nothing happens
    EXPECT_FALSE(fs::exists(file()));

    writeFile(file(),
              R"({"invitecode": "c", "visitorData": {"a": 1}, "email": "e@x", "k": [true]})");
    user().clearStoredEmail();
    std::string text = readFile(file());
    EXPECT_THAT(keysInOrder(text), ElementsAre("invitecode", "email", "k"));
    EXPECT_EQ(nlohmann::json::parse(text)["email"], "");
    EXPECT_EQ(nlohmann::json::parse(text)["invitecode"], "c");

    writeFile(file(), R"({"invitecode": "c"})");
    user().clearStoredEmail();
    EXPECT_EQ(user().loadUser().invitecode, "c");
    EXPECT_EQ(nlohmann::json::parse(readFile(file()))["email"], "");

    for (const std::string content : {"[\"e@x\"]", "\"e@x\"", "42"}) {
        writeFile(file(), content);
        user().clearStoredEmail();
        EXPECT_EQ(readFile(file()), content);
    }
    EXPECT_TRUE(t.alerts.texts().empty());
}

TEST_F(UserFileTest, ClearStoredEmailReportsFailures) {
    auto expectReport = [&](const std::string& start) {
        ASSERT_FALSE(t.alerts.texts().empty());
        EXPECT_THAT(t.alerts.texts().back(), StartsWith(start));
        EXPECT_EQ(t.logLines().back(), t.alerts.texts().back());
    };
    writeFile(file(), R"({"email": "e@x",)");
    user().clearStoredEmail();
    expectReport("<Delete emaile>not JSON: ");
    EXPECT_EQ(readFile(file()), R"({"email": "e@x",)");

    // The atomic write fails (a full disk): the file stays as it was.
    const std::string stored = R"({"email": "e@x", "viewer": ")" + std::string(4096, 'v') + "\"}";
    writeFile(file(), stored);
    {
        FileSizeLimit full(2048);
        user().clearStoredEmail();
    }
    expectReport("<Delete emaile>" + std::string(std::strerror(EFBIG)));
    EXPECT_EQ(readFile(file()), stored);

    fs::remove(file());
    fs::create_directory(file());
    user().clearStoredEmail();
    expectReport("<Delete emaile>Is a directory");
    EXPECT_EQ(t.alerts.texts().size(), 3u);
}

TEST_F(UserFileTest, SetLobbyDisplay) {
    EXPECT_TRUE(user().setLobbyDisplay(true));
    EXPECT_FALSE(fs::exists(file()));

    writeFile(file(), R"({"invitecode": "c", "LobbyDisplay": true, "email": "e"})");
    EXPECT_TRUE(user().setLobbyDisplay(false));
    std::string text = readFile(file());
    EXPECT_THAT(keysInOrder(text), ElementsAre("invitecode", "LobbyDisplay", "email"));
    EXPECT_EQ(nlohmann::json::parse(text)["LobbyDisplay"], false);

    writeFile(file(), "{");
    Status status = user().setLobbyDisplay(true);
    EXPECT_FALSE(status);
    EXPECT_THAT(status.error(), StartsWith("not JSON: "));
    EXPECT_EQ(readFile(file()), "{");
}

} // namespace
} // namespace dravik::test
