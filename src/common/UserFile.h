#pragma once

#include "base/Expected.h"
#include "common/Records.h"

#include <string>

namespace dravik {

class Launcher;

// The stored visitor in Exhibition/user.json: a QZ_USER record, possibly with further members
// (LobbyDisplay, the viewer's own) that every rewrite keeps in their order.
class UserFile {
public:
    explicit UserFile(Launcher& launcher) : m_launcher(launcher) {}

    std::string path() const;

    // Both fields empty when the file is missing or does not decode.
    QZ_USER loadUser() const;

    // Patches invitecode and email into the existing file, written atomically; a file that is
    // not a JSON object is replaced by a fresh two-member file. Fails with the read error when an
    // existing file cannot be read, and with "Exhibition/user.json: " + the reason when the file
    // cannot be written (the old file then stays as it was, every member kept) or the Exhibition
    // folder cannot be created (after createFolder's alert).
    Status saveUser(const QZ_USER& record) const;

    // Empties email and drops visitorData, written atomically. Does nothing without a file or
    // when the top level is not an object; other failures are logged and shown as
    // "<Delete emaile>" + description.
    void clearStoredEmail() const;

    // Sets the boolean member LobbyDisplay of an existing file (nothing without a file), written
    // atomically. The failure description is for the caller to show.
    Status setLobbyDisplay(bool on) const;

private:
    static Status writeFailure(const std::string& why);

    Launcher& m_launcher;
};

} // namespace dravik
