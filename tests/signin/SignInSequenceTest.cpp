#include "signin/SignInSequence.h"

#include "exhibition/ExhibitionDataSync.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>
#include <map>

namespace dravik {
namespace {

// Answers each URL with its scripted reply; counts the requests.
class ScriptedHttp : public Http {
public:
    Expected<HttpResponse> request(const HttpRequest& request) override {
        urls.push_back(request.url);
        auto it = replies.find(request.url);
        return it == replies.end() ? HttpResponse{404, std::nullopt} : it->second;
    }
    std::unique_ptr<Transfer> download(const HttpRequest&, const std::string&,
                                       TransferReceiver) override {
        return nullptr;
    }

    std::map<std::string, HttpResponse> replies;
    std::vector<std::string> urls;
};

const std::string kApi = "https://svc.test/exhibition/api/v1/";

// One Start after another: nothing of an earlier attempt's sign-in reaches a later one.
TEST(SignInSequenceTest, EachStartBeginsWithoutTheEarlierSignIn) {
    test::TestLauncher t{"https://svc.test"};
    ScriptedHttp http;
    t.useHttp(http);
    Launcher& launcher = *t.launcher;
    launcher.localVersion = QZ_VERSION{};
    launcher.localVersion->version = "1.0.1";
    test::writeFile(t.exhibition("Dravik.json"), R"({"LobbyDisplay":"OFF"})");
    http.replies[kApi + "auth"] = {200, R"({"token":"tok-A","exhibitions":[]})"};

    // Code A is accepted for exhibition 7, hall 3, but its e-mail check fails.
    http.replies[kApi + "invites/verify?code=111111111111"] = {
        200, R"({"result":true,"errorMessage":"","errorCode":0,"exhibition_id":7,"hall_id":3})"};
    http.replies[kApi + "visitors/search?email=v.example.jp"] = {200, R"({"result":false})"};
    EXPECT_EQ(runSignInSequence(launcher, "111111111111", "v.example.jp").kind,
              SignInResult::Kind::Failed);

    // Code B passes as outside its period (LobbyDisplay OFF): it names no hall.
    http.replies[kApi + "invites/verify?code=222222222222"] = {
        200, R"({"result":false,"errorMessage":"closed","errorCode":1408})"};
    http.replies[kApi + "visitors/search?email=v.example.jp"] = {200, R"({"result":true})"};
    EXPECT_EQ(runSignInSequence(launcher, "222222222222", "v.example.jp").kind,
              SignInResult::Kind::SignedIn);
    EXPECT_FALSE(launcher.invitedExhibitionId.has_value());
    EXPECT_FALSE(launcher.invitedHallId.has_value());
    const size_t before = http.urls.size();
    ExhibitionDataSync(launcher).run({});
    EXPECT_EQ(http.urls.size(), before) << "no hall of an earlier code is asked for";

    // A failed sign-in keeps no token; "Cancel" goes on without one.
    http.replies[kApi + "auth"] = {503, std::nullopt};
    t.alerts.answerNext(false);
    EXPECT_EQ(runSignInSequence(launcher, "222222222222", "v.example.jp").kind,
              SignInResult::Kind::ContinueWithoutSignIn);
    EXPECT_FALSE(launcher.authRecord.has_value());
}

} // namespace
} // namespace dravik
