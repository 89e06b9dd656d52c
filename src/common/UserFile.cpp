#include "common/UserFile.h"

#include "common/Diagnostics.h"
#include "common/JsonFile.h"
#include "common/Launcher.h"
#include "common/RecordCoding.h"
#include "platform/Alerts.h"

namespace dravik {

std::string UserFile::path() const {
    return m_launcher.exhibitionPath("user.json");
}

QZ_USER UserFile::loadUser() const {
    Expected<std::string> bytes = File::readAll(path());
    if (!bytes)
        return {};
    auto user = decodeRecord<QZ_USER>(*bytes);
    return user ? std::move(*user) : QZ_USER{};
}

Status UserFile::saveUser(const QZ_USER& record) const {
    using Outcome = JsonPatchResult::Outcome;
    const std::string file = path();
    // A failed rewrite keeps the file as it was: every member of it is the viewer's.
    auto patched = patchJsonFile(file, [&](nlohmann::ordered_json& user) {
        user["invitecode"] = record.invitecode;
        user["email"] = record.email;
    });
    if (patched.outcome == Outcome::Patched)
        return Status::ok();
    if (patched.outcome == Outcome::Unreadable)
        return fail(patched.error);
    if (patched.outcome == Outcome::NotWritten)
        return writeFailure(patched.error);
    // Missing, not JSON or not an object: a fresh file.
    if (!m_launcher.file.createFolder(m_launcher.exhibitionPath()))
        return writeFailure("the folder Exhibition cannot be created");
    if (Status written = File::writeAtomically(file, encodeRecord(record)); !written)
        return writeFailure(written.error());
    return Status::ok();
}

Status UserFile::writeFailure(const std::string& why) {
    printDiagnostic(why);
    return fail("Exhibition/user.json: " + why);
}

void UserFile::clearStoredEmail() const {
    auto patched = patchJsonFile(path(), [](nlohmann::ordered_json& user) {
        user["email"] = "";
        user.erase("visitorData");
    });
    if (patched || patched.outcome == JsonPatchResult::Outcome::NotObject)
        return;
    std::string text = "<Delete emaile>" + patched.error;
    m_launcher.writeLog(text);
    m_launcher.platform.alerts.critical(text);
}

Status UserFile::setLobbyDisplay(bool on) const {
    return patchJsonFile(path(), [on](nlohmann::ordered_json& user) { user["LobbyDisplay"] = on; })
        .status();
}

} // namespace dravik
