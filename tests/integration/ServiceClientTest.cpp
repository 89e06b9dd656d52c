#include "service/ServiceClient.h"

#include "common/Ini.h"
#include "common/RecordCoding.h"
#include "support/ServiceFixture.h"
#include "system/curl/CurlHttp.h"
#include "system/qt/QtMainThread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dravik {
namespace {

using namespace std::chrono_literals;
using substitute::Fault;
using test::answer;
using test::readFile;
using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Matcher;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kAuth = "/exhibition/api/v1/auth";
const std::string kVerify = "/exhibition/api/v1/invites/verify";
const std::string kSearch = "/exhibition/api/v1/visitors/search";
const std::string kVersion = "/release/version_mac.json";

const std::string kSignInFailed = "認証に失敗しました";
const std::string kCodeUnusable = "招待コードが利用できません";
const std::string kNotRegistered = "メールアドレスが登録されていません";
const std::string kEmailCheckFailed = "メールアドレスの確認に失敗しました";
const std::string kRemoteVersionFailed = "<リモートのバージョン読込み>";

class ServiceClientOverHttpsTest : public ::testing::Test {
protected:
    ServiceClientOverHttpsTest() {
        EXPECT_THAT(service.start(), IsEmpty());
        t.useHttp(http);
        launcher().serviceBaseUrl = service.service().baseUrl();
        launcher().timings.requestTimeout = 10s;
        QZ_VERSION installed;
        installed.version = "1.0.0";
        installed.file_url = service.url("/release/Release_1.0.0.7z");
        launcher().localVersion = installed;
    }

    Launcher& launcher() { return *t.launcher; }
    ServiceClient client() { return ServiceClient(launcher()); }
    std::string copy(const std::string& name) const {
        return readFile(t.privateFolder() + "/" + name);
    }
    substitute::LoggedRequest lastRequest() { return service.service().requests().back(); }
    // The outcome of fetchRemoteVersion as text: the version, or the run log's last line.
    std::string remoteVersionOutcome() {
        auto version = client().fetchRemoteVersion();
        if (version)
            return version->version;
        auto lines = t.logLines();
        return lines.empty() ? std::string() : lines.back();
    }

    test::ServiceFixture service;
    test::TestLauncher t;
    QtMainThread mainThread;
    CurlHttp http{mainThread, test::kTestCa};
};

TEST_F(ServiceClientOverHttpsTest, SignInAndChecksSucceedAndKeepTheRepliesAsSent) {
    ASSERT_EQ(test::failureText(client().signIn()), "");
    ASSERT_TRUE(launcher().authRecord.has_value());
    const std::string token = launcher().authRecord->token;
    EXPECT_THAT(token, Not(IsEmpty()));
    EXPECT_EQ(launcher().authRecord->exhibitions.at(0).name, "春のバーチャル展示会");
    EXPECT_EQ(decodeRecord<QZ_AUTH>(copy("auth.json"))->token, token);
    EXPECT_FALSE(lastRequest().hasHeader("Authorization"));

    // Dashes between the groups are not sent.
    EXPECT_EQ(test::failureText(client().verifyInvitation("1111-2222-4444")), "");
    EXPECT_EQ(lastRequest().target, kVerify + "?code=111122224444");
    EXPECT_EQ(lastRequest().header("Authorization"), "Bearer " + token);
    EXPECT_EQ(launcher().invitedExhibitionId, 1);
    EXPECT_EQ(launcher().invitedHallId, 11);
    EXPECT_THAT(copy("code.json"), StartsWith(R"({"result":true,)"));

    EXPECT_EQ(test::failureText(client().verifyEmail("visitor@example.com")), "");
    EXPECT_EQ(copy("mail.json"), R"({"result":true})");

    auto remote = client().fetchRemoteVersion();
    ASSERT_TRUE(remote.has_value());
    EXPECT_EQ(remote->version, "1.0.1");
    EXPECT_EQ(remote->file_url, service.url("/release/Release_1.0.1.7z"));
    EXPECT_EQ(lastRequest().target, kVersion);
    EXPECT_FALSE(lastRequest().hasHeader("Authorization"));
    EXPECT_THAT(copy("version_mac.json"), HasSubstr(service.url("/release/Release_1.0.1.7z")));

    std::string log = readFile(t.privateFolder() + "/Dravik_log.txt");
    EXPECT_EQ(log.find(token), std::string::npos);
    EXPECT_EQ(log.find("Tq7wRmz4"), std::string::npos);
}

TEST_F(ServiceClientOverHttpsTest, EmailAddressesReachTheServiceAsTyped) {
    ASSERT_EQ(test::failureText(client().signIn()), "");
    struct Case {
        std::string email;
        std::string expected;
        std::string query;
    };
    const Case cases[] = {
        {"guest+vr@example.com", "", "?email=guest%2Bvr@example.com"},
        {"A.Tester@example.jp", "", "?email=A.Tester@example.jp"},
        {"a.tester@example.jp", kNotRegistered, "?email=a.tester@example.jp"},
        {"guest&vr@example.com", kNotRegistered, "?email=guest%26vr@example.com"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.email);
        EXPECT_EQ(test::failureText(client().verifyEmail(c.email)), c.expected);
        EXPECT_EQ(lastRequest().target, kSearch + c.query);
    }
}

TEST_F(ServiceClientOverHttpsTest, RefusedInvitationsNameTheirErrorCode) {
    ASSERT_EQ(test::failureText(client().signIn()), "");
    const std::string head = kCodeUnusable + "\n\n";
    struct Case {
        std::string code;
        std::string expected;
    };
    const Case cases[] = {
        {"140000000000", head + "招待コードに誤りがある(1400)\ninvitation code is malformed"},
        {"140100000000", head + "ブースが既に削除されている(1401)\nbooth has been deleted"},
        {"140300000000", head + "展示会が見つからない(1403)\nexhibition not found"},
        {"140400000000", head + "ブースが見つからない(1404)\nbooth not found"},
        {"140600000000", head + "招待コードが見つからない(1406)\ninvitation code not found"},
        {"140700000000", head + "ブースが非表示になっている(1407)\nbooth is hidden"},
        {"1408-0000-0000", head + "展示会の開催期間外(1408)\noutside the exhibition period\n\n"
                                  "開催期間 2025/04/01 10:00～2099/12/31 18:00"},
        {"150000000000", head + "(1500)\ninternal error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(test::failureText(client().verifyInvitation(c.code)), c.expected);
        EXPECT_FALSE(launcher().invitedExhibitionId.has_value());
        EXPECT_FALSE(launcher().invitedHallId.has_value());
    }
}

TEST_F(ServiceClientOverHttpsTest, OutsideThePeriodPassesOnlyWithLobbyDisplayOff) {
    ASSERT_EQ(test::failureText(client().signIn()), "");
    struct Case {
        std::optional<std::string> lobbyDisplay;
        bool passes;
    };
    const Case cases[] = {{"off", true}, {"OFF", true}, {"AUTO", false}, {std::nullopt, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lobbyDisplay.value_or("(absent)"));
        std::filesystem::remove(t.exhibition("Dravik.json"));
        if (c.lobbyDisplay)
            test::writeFile(t.exhibition("Dravik.json"),
                            R"({"LobbyDisplay": ")" + *c.lobbyDisplay + "\"}");
        std::string result = test::failureText(client().verifyInvitation("140800000000"));
        if (c.passes) {
            EXPECT_EQ(result, "");
        } else {
            EXPECT_THAT(result, StartsWith(kCodeUnusable + "\n\n展示会の開催期間外(1408)"));
        }
        EXPECT_FALSE(launcher().invitedExhibitionId.has_value());
    }
}

TEST_F(ServiceClientOverHttpsTest, UnusableRepliesBecomeTheFailureTextOfEachRequest) {
    ASSERT_EQ(test::failureText(client().signIn()), "");
    struct Case {
        const char* name;
        std::function<void()> arrange;
        // signIn, verifyInvitation, verifyEmail, fetchRemoteVersion (its run-log line)
        Matcher<std::string> expected[4];
    };
    auto faultEverywhere = [this](const Fault& fault) {
        for (const auto& path : {kAuth, kVerify, kSearch, kVersion})
            service.service().setFault(path, fault);
    };
    const std::string authError = R"({"error":{"code":"AUTH","message":"expired"}})";
    const Case cases[] = {
        {"401 with an error record",
         [&] { faultEverywhere(answer(401, authError)); },
         {kSignInFailed + "\n\n401(AUTH)", kCodeUnusable + "\n\n401(AUTH)",
          kEmailCheckFailed + "\n\n401(AUTH)", kRemoteVersionFailed + "401(AUTH)"}},
        {"500 with a page",
         [&] { faultEverywhere(answer(500, "<html>busy</html>")); },
         {AllOf(StartsWith(kSignInFailed + "\n\n500("), EndsWith(")")),
          StartsWith(kCodeUnusable + "\n\n500("), StartsWith(kEmailCheckFailed + "\n\n500("),
          StartsWith(kRemoteVersionFailed + "500(")}},
        {"200 that is not JSON",
         [&] { faultEverywhere(answer(200, "<html>hello</html>")); },
         {StartsWith(kSignInFailed + "\n\n"), StartsWith(kCodeUnusable + "\n\n"),
          StartsWith(kEmailCheckFailed + "\n\n"),
          AllOf(StartsWith(kRemoteVersionFailed), Not(kRemoteVersionFailed))}},
        {"200 without a body",
         [&] { faultEverywhere(answer(200)); },
         {kSignInFailed, kCodeUnusable, kNotRegistered, kRemoteVersionFailed}},
        {"e-mail result false",
         [&] { service.service().setFault(kSearch, answer(200, R"({"result": false})")); },
         {"", "", kNotRegistered, "1.0.1"}},
        {"server stopped",
         [&] { service.service().stop(); },
         {AllOf(StartsWith(kSignInFailed + "\n\n"), Not(kSignInFailed)),
          AllOf(StartsWith(kCodeUnusable + "\n\n"), Not(kCodeUnusable)),
          StartsWith(kEmailCheckFailed + "\n\n"),
          AllOf(StartsWith(kRemoteVersionFailed), Not(kRemoteVersionFailed))}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        EXPECT_THAT(test::failureText(client().signIn()), c.expected[0]);
        EXPECT_THAT(test::failureText(client().verifyInvitation("111122223333")), c.expected[1]);
        EXPECT_THAT(test::failureText(client().verifyEmail("visitor@example.com")), c.expected[2]);
        EXPECT_THAT(remoteVersionOutcome(), c.expected[3]);
        service.service().clearFaults();
    }
}

TEST_F(ServiceClientOverHttpsTest, SignInFailureTextFollowsMsg1UnlessNothingIsInstalled) {
    service.service().setFault(
        kAuth, answer(401, R"({"error":{"code":"AUTH","message":"unknown account"}})"));
    struct Case {
        std::string installed;
        std::string ini;
        std::string expected;
    };
    const Case cases[] = {
        {"1.0.0", "msg1=サインインできません", "サインインできません"},
        {"-.-.-.-", "msg1=サインインできません", kSignInFailed + "\n\n401(AUTH)"},
        {"1.0.0", "", kSignInFailed + "\n\n401(AUTH)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed + " " + c.ini);
        launcher().localVersion->version = c.installed;
        launcher().ini = Ini::parse(c.ini);
        EXPECT_EQ(test::failureText(client().signIn()), c.expected);
        EXPECT_FALSE(launcher().authRecord.has_value());
    }
}

TEST_F(ServiceClientOverHttpsTest, AStaleTokenIsRefusedByTheService) {
    ASSERT_EQ(test::failureText(client().signIn()), "");
    launcher().authRecord->token = "stale";
    EXPECT_EQ(test::failureText(client().verifyInvitation("111122223333")),
              kCodeUnusable + "\n\n401(AUTH)");
    EXPECT_EQ(test::failureText(client().verifyEmail("visitor@example.com")),
              kEmailCheckFailed + "\n\n401(AUTH)");
}

} // namespace
} // namespace dravik
