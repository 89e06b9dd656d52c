#include "common/UserFile.h"

#include "common/JsonText.h"
#include "common/Launcher.h"
#include "platform/Alerts.h"
#include "service/RecordCoding.h"

#include <iostream>

namespace dravik {

namespace {

// Reads the file as a JSON object; the error is the read or parse failure's description.
Expected<nlohmann::ordered_json> readObject(const std::string& path) {
    std::string bytes;
    std::string error;
    if (!File::readAll(path, bytes, &error))
        return fail(error);
    auto parsed = parseOrderedJson(bytes);
    if (!parsed)
        return fail(parsed.error());
    if (!parsed->is_object())
        return fail("not a JSON object: the file holds " + jsonTypeName(*parsed));
    return std::move(*parsed);
}

} // namespace

std::string UserFile::path() const {
    return m_launcher.exhibitionPath("user.json");
}

QZ_USER UserFile::loadUser() const {
    std::string bytes;
    if (!File::readAll(path(), bytes))
        return {};
    auto user = decodeRecord<QZ_USER>(bytes);
    return user ? std::move(*user) : QZ_USER{};
}

Status UserFile::saveUser(const QZ_USER& record) const {
    const std::string file = path();
    std::string error;
    if (File::exists(file)) {
        std::string bytes;
        if (!File::readAll(file, bytes, &error))
            return fail(error);
        auto parsed = parseOrderedJson(bytes);
        if (parsed && parsed->is_object()) {
            // A failed rewrite keeps the file as it was: every member of it is the viewer's.
            (*parsed)["invitecode"] = record.invitecode;
            (*parsed)["email"] = record.email;
            if (!File::writeAtomically(file, prettyJson(*parsed), &error))
                return writeFailure(error);
            return Status::ok();
        }
    }
    if (!m_launcher.file.createFolder(m_launcher.exhibitionPath()))
        return writeFailure("the folder Exhibition cannot be created");
    if (!File::writeAtomically(file, encodeRecord(record), &error))
        return writeFailure(error);
    return Status::ok();
}

Status UserFile::writeFailure(const std::string& why) {
    std::cout << why << std::endl;
    return fail("Exhibition/user.json: " + why);
}

void UserFile::clearStoredEmail() const {
    std::string file = path();
    if (!File::exists(file))
        return;
    std::string bytes;
    std::string error;
    if (File::readAll(file, bytes, &error)) {
        auto parsed = parseOrderedJson(bytes);
        if (parsed && !parsed->is_object())
            return;
        if (parsed) {
            (*parsed)["email"] = "";
            parsed->erase("visitorData");
            if (File::writeAtomically(file, prettyJson(*parsed), &error))
                return;
        } else {
            error = parsed.error();
        }
    }
    std::string text = "<Delete emaile>" + error;
    m_launcher.writeLog(text);
    m_launcher.platform.alerts.critical(text);
}

Status UserFile::setLobbyDisplay(bool on) const {
    std::string file = path();
    if (!File::exists(file))
        return Status::ok();
    auto user = readObject(file);
    if (!user)
        return fail(user.error());
    (*user)["LobbyDisplay"] = on;
    std::string error;
    if (!File::writeAtomically(file, prettyJson(*user), &error))
        return fail(error);
    return Status::ok();
}

} // namespace dravik
