#include "service/ServiceClient.h"

#include "common/RecordCoding.h"
#include "support/Fakes.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace dravik {
namespace {

using test::readFile;
using test::writeFile;

Expected<HttpResponse> reply(int status, std::optional<std::string> body = std::nullopt) {
    return HttpResponse{status, std::move(body)};
}

Expected<HttpResponse> transportError(std::string error) {
    return fail(std::move(error));
}

// A scripted answer: a failure without a description until one is set.
struct Scripted : Expected<HttpResponse> {
    Scripted() : Expected<HttpResponse>(fail({})) {}
    Scripted(Expected<HttpResponse> answer) : Expected<HttpResponse>(std::move(answer)) {}
};

// Answers each URL with its scripted response and records every request.
class ScriptedHttp : public Http {
public:
    Expected<HttpResponse> request(const HttpRequest& request) override {
        requests.push_back(request);
        auto it = replies.find(request.url);
        return it == replies.end() ? transportError("unexpected URL " + request.url) : it->second;
    }
    std::unique_ptr<Transfer> download(const HttpRequest&, const std::string&,
                                       TransferReceiver receiver) override {
        receiver.completed({std::nullopt, "no downloads here", {}});
        return nullptr;
    }

    std::map<std::string, Scripted> replies;
    std::vector<HttpRequest> requests;
};

const std::string kApi = "https://svc.test/exhibition/api/v1/";
const std::string kAuthBody = R"( {"token": "tok-123",
  "exhibitions": [{"id": 7, "name": "Spring", "start_datetime": "2024-04-01 10:00:00",
                   "end_datetime": "2024-04-30 18:00:00"},
                  {"id": 8, "name": "Undated", "start_datetime": "2024-05-01",
                   "end_datetime": "2024-06-01T18:00"}]} )";

class ServiceClientTest : public ::testing::Test {
protected:
    ServiceClientTest() {
        t.useHttp(http);
        t.launcher->timings.requestTimeout = std::chrono::milliseconds(1234);
    }

    Launcher& launcher() { return *t.launcher; }
    ServiceClient client() { return ServiceClient(launcher()); }
    void signedIn() { launcher().authRecord = decodeRecord<QZ_AUTH>(kAuthBody).value(); }
    void setLocalVersion(const std::string& json) {
        launcher().localVersion = decodeRecord<QZ_VERSION>(json).value();
    }
    std::string copy(const std::string& name) const {
        return readFile(t.privateFolder() + "/" + name);
    }
    bool copyExists(const std::string& name) const {
        return std::filesystem::exists(t.privateFolder() + "/" + name);
    }

    ScriptedHttp http;
    test::TestLauncher t{"https://svc.test"};
};

TEST_F(ServiceClientTest, SignInPostsTheFixedBodyAndKeepsTheReply) {
    http.replies[kApi + "auth"] = reply(200, kAuthBody);
    writeFile(t.privateFolder() + "/auth.json", "an earlier reply, readable by others");
    EXPECT_EQ(test::failureText(client().signIn()), "");

    ASSERT_EQ(http.requests.size(), 1u);
    const HttpRequest& request = http.requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, kApi + "auth");
    EXPECT_TRUE(request.headers.empty());
    EXPECT_EQ(request.body, R"({"username":"vr-api-v1","password":"Tq7wRmz4_.kHv#e2N!pLsGa|"})");
    EXPECT_EQ(request.body.size(), 62u);
    EXPECT_EQ(request.timeout, std::chrono::milliseconds(1234));

    ASSERT_TRUE(launcher().authRecord.has_value());
    EXPECT_EQ(launcher().authRecord->token, "tok-123");
    EXPECT_EQ(launcher().authRecord->exhibitions.size(), 2u);
    EXPECT_EQ(copy("auth.json"), kAuthBody);
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::status(t.privateFolder() + "/auth.json").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    std::string log = readFile(t.privateFolder() + "/Dravik_log.txt");
    EXPECT_EQ(log.find("tok-123"), std::string::npos);
    EXPECT_EQ(log.find("Tq7wRmz4"), std::string::npos);

    // A copy that cannot be written is only printed.
    std::filesystem::remove(t.privateFolder() + "/auth.json");
    std::filesystem::create_directories(t.privateFolder() + "/auth.json");
    launcher().authRecord.reset();
    testing::internal::CaptureStdout();
    EXPECT_EQ(test::failureText(client().signIn()), "");
    EXPECT_FALSE(testing::internal::GetCapturedStdout().empty());
    EXPECT_TRUE(launcher().authRecord.has_value());
}

TEST_F(ServiceClientTest, SignInFailureTexts) {
    const std::string failed = "認証に失敗しました";
    const std::string notJson = decodeRecord<QZ_ERROR_RESPONSE>("oops").error();
    struct Case {
        Expected<HttpResponse> response;
        std::string expected;
        bool copied;
    };
    const std::vector<Case> cases = {
        {reply(401, R"({"error": {"code": "AUTH", "message": "denied"}})"),
         failed + "\n\n401(AUTH)", false},
        {reply(503, "oops"), failed + "\n\n503(" + notJson + ")", false},
        {reply(500), failed + "\n\n500", false},
        {reply(500, ""), failed + "\n\n500", false},
        {reply(201, kAuthBody), failed + "\n\n201(error: required member is missing)", false},
        {reply(200), failed, false},
        {reply(200, R"({"token": "t"})"), failed + "\n\nexhibitions: required member is missing",
         true},
        {transportError("Could not resolve host: svc.test"),
         failed + "\n\nCould not resolve host: svc.test", false},
        {transportError(""), failed, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        std::filesystem::remove(t.privateFolder() + "/auth.json");
        http.replies[kApi + "auth"] = c.response;
        EXPECT_EQ(test::failureText(client().signIn()), c.expected);
        EXPECT_FALSE(launcher().authRecord.has_value());
        EXPECT_EQ(copyExists("auth.json"), c.copied);
    }
}

TEST_F(ServiceClientTest, Msg1ReplacesTheSignInFailureUnlessNothingIsInstalled) {
    http.replies[kApi + "auth"] = reply(401, R"({"error": {"code": "AUTH", "message": "x"}})");
    launcher().ini = Ini::parse("msg1=Sign-in failed\\nTry later");

    EXPECT_EQ(test::failureText(client().signIn()), "Sign-in failed\r\nTry later");
    setLocalVersion(R"({"version": "1.0.0"})");
    EXPECT_EQ(test::failureText(client().signIn()), "Sign-in failed\r\nTry later");
    setLocalVersion(R"({"version": "-.-.-.-"})");
    EXPECT_EQ(test::failureText(client().signIn()), "認証に失敗しました\n\n401(AUTH)");
}

TEST_F(ServiceClientTest, EmptyMessagesInTheIniStillFail) {
    http.replies[kApi + "auth"] = reply(401, R"({"error": {"code": "AUTH", "message": "x"}})");
    launcher().ini = Ini::parse("msg1=\nmsg12=");
    setLocalVersion(R"({"version": "1.0.0"})");

    EXPECT_FALSE(client().signIn());
    EXPECT_FALSE(client().verifyEmail("a@b.jp")); // not signed in: msg12
}

TEST_F(ServiceClientTest, AcceptedInvitationStoresTheIds) {
    signedIn();
    const std::string body = R"({"result": true, "errorMessage": "", "errorCode": 0,
                                 "exhibition_id": 7, "hall_id": 3})";
    http.replies[kApi + "invites/verify?code=123456789012"] = reply(200, body);

    EXPECT_EQ(test::failureText(client().verifyInvitation("1234-5678-9012")), "");
    ASSERT_EQ(http.requests.size(), 1u);
    EXPECT_EQ(http.requests[0].method, "GET");
    EXPECT_EQ(http.requests[0].headers, (std::vector<std::pair<std::string, std::string>>{
                                            {"Authorization", "Bearer tok-123"}}));
    EXPECT_EQ(http.requests[0].timeout, std::chrono::milliseconds(1234));
    EXPECT_EQ(launcher().invitedExhibitionId, std::optional<int64_t>(7));
    EXPECT_EQ(launcher().invitedHallId, std::optional<int64_t>(3));
    EXPECT_EQ(copy("code.json"), body);
}

TEST_F(ServiceClientTest, RefusedInvitationTexts) {
    signedIn();
    const std::string unusable = "招待コードが利用できません";
    struct Case {
        std::string body;
        std::string expected;
    };
    auto refusal = [](int code, const std::string& extra = "") {
        return R"({"result": false, "errorMessage": "msg from service", "errorCode": )" +
               std::to_string(code) + extra + "}";
    };
    const std::vector<Case> cases = {
        {refusal(1400), unusable + "\n\n招待コードに誤りがある(1400)\nmsg from service"},
        {refusal(1401), unusable + "\n\nブースが既に削除されている(1401)\nmsg from service"},
        {refusal(1403), unusable + "\n\n展示会が見つからない(1403)\nmsg from service"},
        {refusal(1404), unusable + "\n\nブースが見つからない(1404)\nmsg from service"},
        {refusal(1406), unusable + "\n\n招待コードが見つからない(1406)\nmsg from service"},
        {refusal(1407), unusable + "\n\nブースが非表示になっている(1407)\nmsg from service"},
        {refusal(1408, R"(, "exhibition_id": 7)"),
         unusable + "\n\n展示会の開催期間外(1408)\nmsg from service\n\n"
                    "開催期間 2024/04/01 10:00～2024/04/30 18:00"},
        {refusal(1500, R"(, "exhibition_id": 8, "hall_id": 1)"),
         unusable + "\n\n(1500)\nmsg from service\n\n開催期間 2024/05/01～2024/06/01T18"},
        {refusal(1400, R"(, "exhibition_id": 99)"),
         unusable + "\n\n招待コードに誤りがある(1400)\nmsg from service\n\n"},
        {R"({"result": false, "errorCode": 1400})",
         unusable + "\n\nerrorMessage: required member is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        http.replies[kApi + "invites/verify?code=111122223333"] = reply(200, c.body);
        EXPECT_EQ(test::failureText(client().verifyInvitation("111122223333")), c.expected);
        EXPECT_FALSE(launcher().invitedExhibitionId.has_value());
        EXPECT_EQ(copy("code.json"), c.body);
    }

    launcher().ini = Ini::parse("msg5=No entry\r\nMSG6=Wrong code");
    http.replies[kApi + "invites/verify?code=111122223333"] = reply(200, refusal(1400));
    EXPECT_EQ(test::failureText(client().verifyInvitation("111122223333")),
              "No entry\n\nWrong code(1400)\nmsg from service");
}

TEST_F(ServiceClientTest, OutsideThePeriodPassesOnlyWithLobbyDisplayOff) {
    signedIn();
    http.replies[kApi + "invites/verify?code=111122223333"] = reply(
        200,
        R"({"result": false, "errorMessage": "closed", "errorCode": 1408, "exhibition_id": 7, "hall_id": 2})");
    const std::string failure = "招待コードが利用できません\n\n展示会の開催期間外(1408)\nclosed\n\n"
                                "開催期間 2024/04/01 10:00～2024/04/30 18:00";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", failure}, // no Dravik.json: "AUTO"
        {R"({"LobbyDisplay": "off"})", ""},
        {R"({"LobbyDisplay": "OFF"})", ""},
        {R"({"LobbyDisplay": "Off "})", failure},
        {R"({"LobbyDisplay": "AUTO"})", failure},
        {R"({"LobbyDisplay": "ON"})", failure},
    };
    for (const auto& [settings, expected] : cases) {
        SCOPED_TRACE(settings);
        std::filesystem::remove(t.exhibition("Dravik.json"));
        if (!settings.empty())
            writeFile(t.exhibition("Dravik.json"), settings);
        EXPECT_EQ(test::failureText(client().verifyInvitation("111122223333")), expected);
        EXPECT_FALSE(launcher().invitedExhibitionId.has_value());
        EXPECT_FALSE(launcher().invitedHallId.has_value());
    }
}

TEST_F(ServiceClientTest, InvitationCheckFailures) {
    const std::string unusable = "招待コードが利用できません";
    EXPECT_EQ(test::failureText(client().verifyInvitation("111122223333")), unusable);
    EXPECT_TRUE(http.requests.empty());

    signedIn();
    const std::string url = kApi + "invites/verify?code=111122223333";
    const std::vector<std::pair<Expected<HttpResponse>, std::string>> cases = {
        {reply(403, R"({"error": {"code": "FORBIDDEN", "message": "m"}})"),
         unusable + "\n\n403(FORBIDDEN)"},
        {reply(404), unusable + "\n\n404"},
        {reply(200), unusable},
        {transportError("timed out"), unusable + "\n\ntimed out"},
        {transportError(""), unusable},
    };
    for (const auto& [response, expected] : cases) {
        http.replies[url] = response;
        EXPECT_EQ(test::failureText(client().verifyInvitation("1111-2222-3333")), expected);
    }
    EXPECT_FALSE(copyExists("code.json"));
}

TEST_F(ServiceClientTest, QueryValuesAreEncodedOnlyWhereTheyCannotGoAsTyped) {
    signedIn();
    http.replies[kApi + "visitors/search?email=a%2Bb%26c%3Dd@ex.jp"] =
        reply(200, R"({"result":true})");
    EXPECT_EQ(test::failureText(client().verifyEmail("a+b&c=d@ex.jp")), "");

    http.replies[kApi + "visitors/search?email=%E5%B1%B1%20.-_~%25!$'()*,;:/?%22%3C%3E"] =
        reply(200, R"({"result":true})");
    EXPECT_EQ(test::failureText(client().verifyEmail("山 .-_~%!$'()*,;:/?\"<>")), "");

    http.replies[kApi + "invites/verify?code=12%2B4%26?%23"] =
        reply(200, R"({"result": true, "errorMessage": "", "errorCode": 0})");
    EXPECT_EQ(test::failureText(client().verifyInvitation("12+4-&?#")), "");
}

TEST_F(ServiceClientTest, InputsThatCannotFormAnAddressFailWithoutARequest) {
    signedIn();
    EXPECT_EQ(test::failureText(client().verifyInvitation("1234\n5678")),
              "招待コードが利用できません\n\n招待コードに使用できない文字が含まれています");
    EXPECT_EQ(
        test::failureText(client().verifyEmail("a@b.jp\t")),
        "メールアドレスの確認に失敗しました\n\nメールアドレスに使用できない文字が含まれています");
    EXPECT_EQ(
        test::failureText(client().verifyEmail(std::string("a@b\0.jp", 7))),
        "メールアドレスの確認に失敗しました\n\nメールアドレスに使用できない文字が含まれています");
    EXPECT_TRUE(http.requests.empty());
}

TEST_F(ServiceClientTest, EmailCheckTexts) {
    const std::string notRegistered = "メールアドレスが登録されていません";
    const std::string failed = "メールアドレスの確認に失敗しました\n\n";
    EXPECT_EQ(test::failureText(client().verifyEmail("a@b.jp")), notRegistered);
    EXPECT_TRUE(http.requests.empty());

    signedIn();
    const std::string url = kApi + "visitors/search?email=a@b.jp";
    const std::vector<std::pair<Expected<HttpResponse>, std::string>> cases = {
        {reply(200, R"({"result": true})"), ""},
        {reply(200, R"({"result": false})"), notRegistered},
        {reply(200), notRegistered},
        {transportError(""), notRegistered},
        {reply(200, R"({"result": "yes"})"), failed + "result: expected a boolean"},
        {reply(500), failed + "500"},
        {reply(401, R"({"error": {"code": "TOKEN", "message": "m"}})"), failed + "401(TOKEN)"},
        {transportError("SSL peer certificate was not OK"),
         failed + "SSL peer certificate was not OK"},
    };
    for (const auto& [response, expected] : cases) {
        SCOPED_TRACE(expected);
        http.replies[url] = response;
        EXPECT_EQ(test::failureText(client().verifyEmail("a@b.jp")), expected);
        EXPECT_EQ(http.requests.back().headers.at(0).second, "Bearer tok-123");
    }
    EXPECT_EQ(copy("mail.json"), R"({"result": "yes"})");

    launcher().ini = Ini::parse("msg12=Unknown address");
    http.replies[url] = reply(200, R"({"result": false})");
    EXPECT_EQ(test::failureText(client().verifyEmail("a@b.jp")), "Unknown address");
}

TEST_F(ServiceClientTest, RemoteVersionIsFetchedBesideTheReleaseArchive) {
    setLocalVersion(R"({"version": "1.0.0", "file_url": "https://cdn.test/rel/Kestrane.zip"})");
    const std::string body = R"({"version": "1.1.0", "file_url": "https://cdn.test/rel/K2.zip"})";
    http.replies["https://cdn.test/rel/version_mac.json"] = reply(200, body);

    auto remote = client().fetchRemoteVersion();
    ASSERT_TRUE(remote.has_value());
    EXPECT_EQ(remote->version, "1.1.0");
    EXPECT_EQ(http.requests.at(0).method, "GET");
    EXPECT_TRUE(http.requests.at(0).headers.empty());
    EXPECT_EQ(copy("version_mac.json"), body);
    EXPECT_FALSE(launcher().remoteVersion.has_value()); // the caller stores it
}

TEST_F(ServiceClientTest, RemoteVersionFailuresAreLogged) {
    const std::string prefix = "<リモートのバージョン読込み>";
    const std::string url = "https://cdn.test/rel/version_mac.json";
    setLocalVersion(R"({"version": "1.0.0", "file_url": "https://cdn.test/rel/Kestrane.zip"})");
    const std::vector<std::pair<Expected<HttpResponse>, std::string>> cases = {
        {reply(404), prefix + "404"},
        {reply(200, R"({"file_url": "x"})"), prefix + "version: required member is missing"},
        {reply(200), prefix},
        {transportError("Connection refused"), prefix + "Connection refused"},
    };
    for (const auto& [response, line] : cases) {
        http.replies[url] = response;
        EXPECT_FALSE(client().fetchRemoteVersion().has_value());
        EXPECT_EQ(t.logLines().back(), line);
    }

    size_t requests = http.requests.size();
    for (const std::string local :
         {R"({"version": "1.0.0"})", R"({"version": "1.0.0", "file_url": "Kestrane.zip"})"}) {
        setLocalVersion(local);
        EXPECT_FALSE(client().fetchRemoteVersion().has_value());
    }
    launcher().localVersion.reset();
    EXPECT_FALSE(client().fetchRemoteVersion().has_value());
    EXPECT_EQ(http.requests.size(), requests);
    EXPECT_TRUE(t.alerts.texts().empty());
}

} // namespace
} // namespace dravik
