#pragma once

// The sign-in phase's requests to the exhibition service. Each call blocks the calling worker
// thread (never the main thread) for one synchronous request through launcher.platform.http,
// with launcher.timings.requestTimeout.
//
//   ServiceClient client(launcher);
//   Status signedIn = client.signIn();              // sets launcher.authRecord
//   Status invited = client.verifyInvitation("1234-5678-9012"); // sets invitedExhibitionId/HallId
//   Status registered = client.verifyEmail("visitor@example.com");
//   launcher.remoteVersion = client.fetchRemoteVersion(); // not stored by the client itself
//
// Every reply with status 200 and a non-empty body is first copied byte for byte into the private
// folder (auth.json, code.json, mail.json, version_mac.json); a failed copy is only printed on
// standard output. Only status 200 counts as success. Query values go out as typed where a query
// can carry them ("@" included); "&", "+", "#", "%", "=", blanks, controls, non-ASCII and the
// characters no address may hold are percent-encoded. Neither the bearer token nor the account
// password is ever written to the run log.

#include "common/Records.h"
#include "platform/Http.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace dravik {

class Launcher;

class ServiceClient {
public:
    explicit ServiceClient(Launcher& launcher) : m_launcher(launcher) {}

    // POST auth with the service account. Success sets launcher.authRecord; a failure's text is
    // "認証に失敗しました" [+ "\n\n" + detail], replaced whole by the INI entry msg1 unless the
    // installed version is the not-installed marker.
    Status signIn();

    // GET invites/verify?code=<code without "-">. Success when accepted (the ids are stored) or
    // when error 1408 meets the launcher setting LobbyDisplay "OFF"; otherwise a failure with
    // msg5 [+ "\n\n" + detail].
    Status verifyInvitation(const std::string& code);

    // GET visitors/search?email=<email>. Success when registered; a failure with msg12 when not
    // registered (also without a sign-in, for a 200 without body and when nothing came back);
    // otherwise with "メールアドレスの確認に失敗しました\n\n" + detail.
    Status verifyEmail(const std::string& email);

    // GET version_mac.json beside launcher.localVersion's file_url. Every failure writes
    // "<リモートのバージョン読込み>" + detail to the run log and yields none.
    std::optional<QZ_VERSION> fetchRemoteVersion();

    // The pieces below are shared with the other service requests (hall data, downloads).

    // "<status>(<QZ_ERROR.code>)", "<status>(<decoding error>)", or "<status>" without a body.
    static std::string statusErrorText(int status, const std::optional<std::string>& body);
    // Why a request did not bring a usable reply: the status error text for a status other than
    // 200, the transport error, or "" (200 without body, or a failure without a description).
    static std::string failureDetail(const Expected<HttpResponse>& response);
    // Status 200 with a non-empty body.
    static bool succeededWithBody(const Expected<HttpResponse>& response);
    // Percent-encodes what a query value cannot carry as typed.
    static std::string percentEncode(std::string_view value);
    // "Authorization: Bearer <token>".
    static std::pair<std::string, std::string> authorizationHeader(const std::string& token);
    // Copies a reply into the private folder, replacing an earlier copy; a failure is printed on
    // standard output only.
    void keepReplyCopy(const std::string& name, const std::string& body) const;

    // The first line of an invitation failure's detail for a QZ_CODE.errorCode.
    std::string invitationErrorText(int64_t errorCode) const;
    // "開催期間 <start>～<end>" for an exhibition of authRecord, "" when none has that id.
    std::string periodText(int64_t exhibitionId) const;

    // The fixed sign-in body (62 characters).
    static const std::string& signInBody();

private:
    Expected<HttpResponse> send(const std::string& method, const std::string& url, bool withToken,
                                const std::string& body = {});

    Launcher& m_launcher;
};

} // namespace dravik
