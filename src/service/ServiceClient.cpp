#include "service/ServiceClient.h"

#include "common/Diagnostics.h"
#include "common/Launcher.h"
#include "common/LobbyDisplaySetting.h"
#include "common/PrivateFolder.h"
#include "common/RecordCoding.h"
#include "service/VersionRules.h"

namespace dravik {

namespace {

const char* const kSignInFailed = "認証に失敗しました";
const char* const kEmailCheckFailed = "メールアドレスの確認に失敗しました";
const char* const kRemoteVersionFailed = "<リモートのバージョン読込み>";
const char* const kCodeUnusable = "招待コードに使用できない文字が含まれています";
const char* const kEmailUnusable = "メールアドレスに使用できない文字が含まれています";

// Control characters cannot be part of a request address, even percent-encoded they are not what
// the visitor meant to send.
bool hasControlCharacter(std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

std::string withDetail(std::string text, const std::string& detail) {
    if (!detail.empty())
        text += "\n\n" + detail;
    return text;
}

// "2024-05-01 10:00:00" becomes "2024/05/01 10:00".
std::string periodDate(std::string text) {
    for (char& c : text) {
        if (c == '-')
            c = '/';
    }
    auto colon = text.rfind(':');
    if (colon != std::string::npos)
        text.erase(colon);
    return text;
}

} // namespace

const std::string& ServiceClient::signInBody() {
    static const std::string body =
        R"({"username":"vr-api-v1","password":"Tq7wRmz4_.kHv#e2N!pLsGa|"})";
    return body;
}

Status ServiceClient::signIn() {
    Expected<HttpResponse> response = send("POST", m_launcher.apiUrl("auth"), false, signInBody());
    std::string detail;
    if (succeededWithBody(response)) {
        keepReplyCopy("auth.json", *response->body);
        auto auth = decodeRecord<QZ_AUTH>(*response->body);
        if (auth) {
            m_launcher.authRecord = std::move(*auth);
            return Status::ok();
        }
        detail = auth.error();
    } else {
        detail = failureDetail(response);
    }
    std::string text = withDetail(kSignInFailed, detail);
    if (m_launcher.localVersion && isNotInstalledMarker(*m_launcher.localVersion))
        return fail(text);
    return fail(m_launcher.getIniValue("msg1", text));
}

Status ServiceClient::verifyInvitation(const std::string& code) {
    std::string detail;
    std::string digits;
    for (char c : code) {
        if (c != '-')
            digits += c;
    }
    if (!m_launcher.authRecord) {
        // No sign-in: nothing to ask with.
    } else if (hasControlCharacter(digits)) {
        detail = kCodeUnusable;
    } else {
        Expected<HttpResponse> response = send(
            "GET", m_launcher.apiUrl("invites/verify") + "?code=" + percentEncode(digits), true);
        if (!succeededWithBody(response)) {
            detail = failureDetail(response);
        } else {
            keepReplyCopy("code.json", *response->body);
            auto reply = decodeRecord<QZ_CODE>(*response->body);
            if (!reply) {
                detail = reply.error();
            } else if (reply->result) {
                m_launcher.invitedExhibitionId = reply->exhibition_id;
                m_launcher.invitedHallId = reply->hall_id;
                return Status::ok();
            } else {
                detail = invitationErrorText(reply->errorCode) + "\n" + reply->errorMessage;
                if (reply->exhibition_id)
                    detail += "\n\n" + periodText(*reply->exhibition_id);
                if (reply->errorCode == 1408 && lobbyDisplaySetting(m_launcher) == "OFF")
                    return Status::ok();
            }
        }
    }
    return fail(withDetail(m_launcher.ini.message("msg5"), detail));
}

Status ServiceClient::verifyEmail(const std::string& email) {
    if (!m_launcher.authRecord)
        return fail(m_launcher.ini.message("msg12"));
    if (hasControlCharacter(email))
        return fail(withDetail(kEmailCheckFailed, kEmailUnusable));
    Expected<HttpResponse> response =
        send("GET", m_launcher.apiUrl("visitors/search") + "?email=" + percentEncode(email), true);
    std::string detail;
    if (succeededWithBody(response)) {
        keepReplyCopy("mail.json", *response->body);
        auto reply = decodeRecord<QZ_MAIL>(*response->body);
        if (reply && reply->result)
            return Status::ok();
        if (!reply)
            detail = reply.error();
    } else {
        detail = failureDetail(response);
    }
    if (detail.empty())
        return fail(m_launcher.ini.message("msg12"));
    return fail(withDetail(kEmailCheckFailed, detail));
}

std::optional<QZ_VERSION> ServiceClient::fetchRemoteVersion() {
    auto failed = [this](const std::string& detail) -> std::optional<QZ_VERSION> {
        m_launcher.writeLog(kRemoteVersionFailed + detail);
        return std::nullopt;
    };
    const auto& local = m_launcher.localVersion;
    if (!local || !local->file_url)
        return failed("no file_url in the installed version record");
    auto slash = local->file_url->rfind('/');
    if (slash == std::string::npos)
        return failed("no file_url in the installed version record");
    Expected<HttpResponse> response =
        send("GET", local->file_url->substr(0, slash) + "/version_mac.json", false);
    if (!succeededWithBody(response))
        return failed(failureDetail(response));
    keepReplyCopy("version_mac.json", *response->body);
    auto version = decodeRecord<QZ_VERSION>(*response->body);
    if (!version)
        return failed(version.error());
    return std::move(*version);
}

std::string ServiceClient::statusErrorText(int status, const std::optional<std::string>& body) {
    std::string text = std::to_string(status);
    if (!body || body->empty())
        return text;
    auto reply = decodeRecord<QZ_ERROR_RESPONSE>(*body);
    return text + "(" + (reply ? reply->error.code : reply.error()) + ")";
}

std::string ServiceClient::failureDetail(const Expected<HttpResponse>& response) {
    if (!response)
        return response.error();
    if (response->status == 200)
        return {};
    return statusErrorText(response->status, response->body);
}

bool ServiceClient::succeededWithBody(const Expected<HttpResponse>& response) {
    return response && response->status == 200 && response->body && !response->body->empty();
}

std::string ServiceClient::percentEncode(std::string_view value) {
    static const char* const kHex = "0123456789ABCDEF";
    // What a query may hold as typed, less the separators of its values (&, +, =).
    static const std::string_view kCarriedAsTyped = "-._~!$'()*,;:@/?";
    std::string encoded;
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        bool asTyped = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                       (byte >= '0' && byte <= '9') ||
                       kCarriedAsTyped.find(c) != std::string_view::npos;
        if (asTyped) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

std::pair<std::string, std::string> ServiceClient::authorizationHeader(const std::string& token) {
    return {"Authorization", "Bearer " + token};
}

void ServiceClient::keepReplyCopy(const std::string& name, const std::string& body) const {
    // Replies hold the token and the visitor's inputs: owner-only.
    if (Status written = PrivateFolder::writeFile(m_launcher.privatePath(name), body); !written)
        printDiagnostic(written.error());
}

std::string ServiceClient::invitationErrorText(int64_t errorCode) const {
    std::string code = "(" + std::to_string(errorCode) + ")";
    switch (errorCode) {
    case 1400:
        return m_launcher.ini.message("msg6") + code;
    case 1401:
        return "ブースが既に削除されている" + code;
    case 1403:
        return m_launcher.ini.message("msg7") + code;
    case 1404:
        return m_launcher.ini.message("msg8") + code;
    case 1406:
        return m_launcher.ini.message("msg9") + code;
    case 1407:
        return m_launcher.ini.message("msg10") + code;
    case 1408:
        return m_launcher.ini.message("msg11") + code;
    default:
        return code;
    }
}

std::string ServiceClient::periodText(int64_t exhibitionId) const {
    if (!m_launcher.authRecord)
        return {};
    for (const auto& exhibition : m_launcher.authRecord->exhibitions) {
        if (exhibition.id == exhibitionId)
            return "開催期間 " + periodDate(exhibition.start_datetime) + "～" +
                   periodDate(exhibition.end_datetime);
    }
    return {};
}

Expected<HttpResponse> ServiceClient::send(const std::string& method, const std::string& url,
                                           bool withToken, const std::string& body) {
    HttpRequest request;
    request.method = method;
    request.url = url;
    request.body = body;
    request.timeout = m_launcher.timings.requestTimeout;
    if (withToken && m_launcher.authRecord)
        request.headers.push_back(authorizationHeader(m_launcher.authRecord->token));
    return m_launcher.platform.http.request(request);
}

} // namespace dravik
