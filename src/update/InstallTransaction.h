#pragma once

#include "base/Expected.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace dravik {

class Launcher;

// Changes the installation in the base folder all or nothing. New items are first copied into a
// staging folder beside the installation and written to the disk, so a copy that fails (a full
// disk, an unreadable file) has changed nothing yet. They then go in by renames; every item that
// is removed or replaced is renamed into a backup instead. Where an item lies on another file
// system than the transaction folder, a rename becomes a copy (written to the disk) followed by
// the removal of the source. Every change is written to the journal, and the journal to the
// disk, before the change happens, so a failure, and an interruption at any point (the launcher
// killed, the power cut), is undone from the journal: by rollback, or by recover at the next
// start.
//
// Layout: <base>/$DravikUpdate/{journal, stage/<n>, backup/<n>}. Journal lines are JSON arrays:
// ["moved", n, relative] (the item went to backup/<n>), ["created", relative] (the item is new),
// ["committed"]. Changes happen in the order of their lines.
//
// Undoing is safe to interrupt and repeat. It walks the lines backwards from the first "moved"
// line whose backup is gone: a backup is gone only once it was moved back or never made, and
// either way every later line is already undone or never happened. So a repeated undo never
// removes an item it has already put back.
class InstallTransaction {
public:
    static constexpr const char* kFolderName = "$DravikUpdate";

    explicit InstallTransaction(Launcher& launcher);
    ~InstallTransaction();
    InstallTransaction(const InstallTransaction&) = delete;
    InstallTransaction& operator=(const InstallTransaction&) = delete;

    // Creates the transaction folder; an interrupted transaction still there is undone first.
    Status begin();
    // Copies a file or folder into the staging folder and writes it to the disk; the result is
    // its staged path.
    Expected<std::string> stage(const std::string& source);
    // Moves <base>/relative into the backup; a missing item is success.
    Status remove(const std::string& relative);
    // Puts the staged item at <base>/relative as a whole, the old item going to the backup.
    Status replace(const std::string& relative, const std::string& staged);
    // Merges the staged folder's tree into <base>/relative: each file replaces its counterpart,
    // folders are created where missing, other items stay.
    Status merge(const std::string& relative, const std::string& staged);
    // Writes every change to the disk, keeps the changes and removes the transaction folder.
    Status commit();
    // Undoes every journalled change and removes the transaction folder (nothing when begin has
    // not succeeded).
    Status rollback();

    // At start: undoes a transaction that was interrupted, or finishes one that was committed.
    // What it did goes to the run log. A committed transaction whose folder cannot be removed,
    // and backups that no journal line names, are set aside beside it (never deleted), so they
    // never block a later installation.
    // beforeChange, when given, runs before each change on the disk (a test's kill point).
    static void recover(Launcher& launcher, const std::function<void()>& beforeChange = {});

    // Whether a name (the first component of a listed path) is the transaction's own folder, in
    // any letter case (the Mac's file systems ignore it).
    static bool isReservedName(const std::string& name);

private:
    // One change, journalled before it happens.
    struct Change {
        enum class Kind { CreateFolder, ToBackup, IntoPlace } kind;
        std::string relative;
        int slot = -1;      // ToBackup: the backup's number
        std::string staged; // IntoPlace: what goes in
    };

    std::string folder() const;
    std::string target(const std::string& relative) const;
    Status planFolder(const std::string& relative);
    Status planFile(const std::string& relative, const std::string& staged);
    // Journals the planned changes, writes the journal to the disk, then makes them in order.
    Status applyPlanned();
    Status make(const Change& change);

    Launcher& m_launcher;
    bool m_begun = false;
    int m_journal = -1;
    int m_next = 0;
    std::vector<Change> m_planned;
    std::set<std::string> m_plannedFolders; // planned CreateFolder paths, not made yet
    std::set<std::string> m_touchedFolders; // folders whose entries changed, synced at commit
};

} // namespace dravik
