#pragma once

#include "common/Expected.h"

#include <string>

namespace dravik {

class Launcher;

// Changes the installation in the base folder all or nothing. New items are first copied into a
// staging folder beside the installation (the same file system), so a copy that fails (a full
// disk, an unreadable file) has changed nothing yet. They then go in by renames; every item that
// is removed or replaced is renamed into a backup instead. Each rename is written to a journal
// before it happens, so a failure, and an interruption at any point (the launcher killed), is
// undone from the journal: by rollback, or by recover at the next start.
//
// Layout: <base>/$DravikUpdate/{journal, stage/<n>, backup/<n>}. Journal lines are JSON arrays:
// ["moved", n, relative] (the item went to backup/<n>), ["created", relative] (the item is new),
// ["committed"].
class InstallTransaction {
public:
    static constexpr const char* kFolderName = "$DravikUpdate";

    explicit InstallTransaction(Launcher& launcher);
    ~InstallTransaction();
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;

    // Creates the transaction folder; an interrupted transaction still there is undone first.
    Status begin();
    // Copies a file or folder into the staging folder; the result is its staged path.
    Expected<std::string> stage(const std::string& source);
    // Moves <base>/relative into the backup; a missing item is success.
    Status remove(const std::string& relative);
    // Puts the staged item at <base>/relative as a whole, the old item going to the backup.
    Status replace(const std::string& relative, const std::string& staged);
    // Merges the staged folder's tree into <base>/relative: each file replaces its counterpart,
    // folders are created where missing, other items stay.
    Status merge(const std::string& relative, const std::string& staged);
    // Keeps the changes and removes the transaction folder.
    Status commit();
    // Undoes every journalled change and removes the transaction folder (nothing when begin has
    // not succeeded).
    Status rollback();

    // At start: undoes a transaction that was interrupted, or finishes one that was committed.
    // What it did goes to the run log.
    static void recover(Launcher& launcher);

private:
    std::string folder() const;
    std::string target(const std::string& relative) const;
    Status journal(const std::string& line);
    Status moveToBackup(const std::string& relative);
    Status putInPlace(const std::string& relative, const std::string& staged);
    Status ensureFolder(const std::string& relative);

    Launcher& m_launcher;
    bool m_begun = false;
    int m_journal = -1;
    int m_next = 0;
};

} // namespace dravik
