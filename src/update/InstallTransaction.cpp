#include "update/InstallTransaction.h"

#include "common/File.h"
#include "common/JsonText.h"
#include "common/Launcher.h"
#include "common/Leftovers.h"
#include "common/SafePath.h"
#include "common/Unicode.h"
#include "platform/Alerts.h"
#include "platform/FileFlags.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <unistd.h>
#include <utility>

namespace dravik {

namespace fs = std::filesystem;

namespace {

std::string transactionFolder(const Launcher& launcher) {
    return File::join(launcher.baseFolder, InstallTransaction::kFolderName);
}

std::string journalPath(const std::string& folder) {
    return File::join(folder, "journal");
}

std::string backupFolder(const std::string& folder) {
    return File::join(folder, "backup");
}

std::string backupPath(const std::string& folder, int slot) {
    return File::join(backupFolder(folder), std::to_string(slot));
}

std::string parentOf(const std::string& path) {
    return fs::path(path).parent_path().string();
}

// Makes the changes on the disk; a test may stop the process before any of them.
struct Mover {
    const Launcher& launcher;
    std::function<void()> beforeChange;

    void change() const {
        if (beforeChange)
            beforeChange();
    }
    Status discard(const std::string& path) const;
    Status relocate(const std::string& from, const std::string& to) const;
};

// Removes an item: first renamed aside in one step (so a kill leaves either the item or a
// leftover that Leftovers removes), then deleted with any lock inside it cleared.
Status Mover::discard(const std::string& path) const {
    const std::string retired = File::temporaryName(path, "discard");
    std::error_code error;
    change();
    fs::rename(path, retired, error);
    if (error && launcher.platform.fileFlags.isImmutable(path)) {
        (void)launcher.platform.fileFlags.setImmutable(path, false);
        error.clear();
        fs::rename(path, retired, error);
    }
    if (error)
        return fail("cannot remove " + path + ": " + error.message());
    change();
    if (Status removed = launcher.file.removeUnlocked(retired); !removed)
        launcher.writeLog("Update: left " + retired + " behind: " + removed.error());
    return Status::ok();
}

// Moves an item in one rename. Across file systems it is copied beside its destination,
// written to the disk, renamed into place, and only then removed at its source.
Status Mover::relocate(const std::string& from, const std::string& to) const {
    std::error_code error;
    change();
    fs::rename(from, to, error);
    if (!error)
        return Status::ok();
    if (error != std::errc::cross_device_link)
        return fail("cannot move " + from + " to " + to + ": " + error.message());
    const std::string copy = File::temporaryName(to, "copy");
    change();
    fs::copy(from, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    Status copied = error ? Status(fail(error.message())) : File::syncTree(copy);
    if (copied) {
        change();
        fs::rename(copy, to, error);
        if (error)
            copied = fail(error.message());
    }
    if (!copied) {
        (void)launcher.file.removeUnlocked(copy); // partial: worth nothing
        return fail("cannot copy " + from + " to " + to + ": " + copied.error());
    }
    File::syncFolder(parentOf(to));
    return discard(from);
}

struct JournalLine {
    enum class Kind { Moved, Created, Committed } kind;
    int slot = -1;
    std::string relative;
};

struct Journal {
    std::vector<JournalLine> lines;
    bool committed = false;
    int ignored = 0; // lines that are cut short, garbage, or name a place outside the base folder
};

std::optional<JournalLine> parseLine(const std::string& text) {
    auto entry = parseJson(text);
    if (!entry || !entry->is_array() || entry->empty() || !(*entry)[0].is_string())
        return std::nullopt;
    const nlohmann::json& e = *entry;
    auto safe = [](const nlohmann::json& name) {
        return name.is_string() && isSafeName(name.get<std::string>(), NameKind::RelativePath);
    };
    if (e[0] == "committed" && e.size() == 1)
        return JournalLine{JournalLine::Kind::Committed, -1, {}};
    if (e[0] == "created" && e.size() == 2 && safe(e[1]))
        return JournalLine{JournalLine::Kind::Created, -1, e[1].get<std::string>()};
    if (e[0] == "moved" && e.size() == 3 && e[1].is_number_integer() && e[1].get<int>() >= 0 &&
        safe(e[2]))
        return JournalLine{JournalLine::Kind::Moved, e[1].get<int>(), e[2].get<std::string>()};
    return std::nullopt;
}

Journal readJournal(const std::string& folder) {
    Journal journal;
    // No journal: nothing was changed yet.
    Expected<std::string> text = File::readAll(journalPath(folder));
    std::istringstream lines(text ? *text : std::string());
    for (std::string text; std::getline(lines, text);) {
        if (auto line = parseLine(text)) {
            journal.committed = journal.committed || line->kind == JournalLine::Kind::Committed;
            journal.lines.push_back(std::move(*line));
        } else if (!text.empty()) {
            ++journal.ignored;
        }
    }
    return journal;
}

// Keeps what must not be deleted: the whole folder goes aside under a name of its own.
Expected<std::string> setAside(const Launcher& launcher) {
    const std::string aside = File::unusedDatedName(
        launcher.baseFolder, std::string(InstallTransaction::kFolderName) + "-kept-");
    std::error_code error;
    fs::rename(transactionFolder(launcher), aside, error);
    if (error)
        return fail("cannot set " + transactionFolder(launcher) + " aside: " + error.message());
    return fs::path(aside).filename().string();
}

// The entries of the backup folder that are backups, not temporaries of a copy.
int backupsLeft(const std::string& folder) {
    int left = 0;
    std::error_code error;
    for (fs::directory_iterator it(backupFolder(folder), error), end; !error && it != end;
         it.increment(error))
        left += Leftovers::parse(it->path().filename().string()) ? 0 : 1;
    return left;
}

// Removes the folder of a transaction that needs nothing more; when that fails, it goes aside.
std::string removeFolder(const Launcher& launcher) {
    Status removed = launcher.file.removeUnlocked(transactionFolder(launcher));
    if (removed)
        return "";
    auto aside = setAside(launcher);
    return "could not remove its folder (" + removed.error() + "); " +
           (aside ? "set it aside as " + *aside : aside.error());
}

struct Undone {
    bool committed = false;
    int changes = 0;
    int ignored = 0;
    std::string note; // what else was done, for the run log
};

// Undoes the journal's changes, newest first; a committed journal only needs its folder removed.
Expected<Undone> undoJournal(Launcher& launcher, const std::function<void()>& beforeChange) {
    const Mover mover{launcher, beforeChange};
    const std::string folder = transactionFolder(launcher);
    Journal journal = readJournal(folder);
    Undone undone{journal.committed, 0, journal.ignored, {}};
    if (journal.committed) {
        undone.note = removeFolder(launcher);
        return undone;
    }
    const auto& lines = journal.lines;
    size_t end = 0;
    while (end < lines.size() && !(lines[end].kind == JournalLine::Kind::Moved &&
                                   !File::isPresent(backupPath(folder, lines[end].slot))))
        ++end;

    std::set<std::string> folders;
    for (size_t i = end; i-- > 0;) {
        const JournalLine& line = lines[i];
        const std::string item = File::join(launcher.baseFolder, line.relative);
        Status done;
        if (File::isPresent(item))
            done = mover.discard(item);
        if (done && line.kind == JournalLine::Kind::Moved)
            done = mover.relocate(backupPath(folder, line.slot), item);
        if (!done)
            return fail("could not undo " + line.relative + ": " + done.error());
        ++undone.changes;
    }
    // Copies and removals cut short by a kill lie beside the items (those in the backup folder
    // go with it).
    for (const JournalLine& line : lines)
        folders.insert(parentOf(File::join(launcher.baseFolder, line.relative)));
    Leftovers leftovers(launcher);
    for (const std::string& parent : folders)
        leftovers.sweep(parent);

    if (int left = backupsLeft(folder); left > 0) {
        auto aside = setAside(launcher);
        if (!aside)
            return fail(aside.error());
        undone.note =
            "kept " + std::to_string(left) + " backups that no journal line names in " + *aside;
        return undone;
    }
    undone.note = removeFolder(launcher);
    return undone;
}

std::string changeLine(const char* kind, const std::string& relative) {
    return compactJson(nlohmann::ordered_json::array({kind, relative}));
}

} // namespace

InstallTransaction::InstallTransaction(Launcher& launcher) : m_launcher(launcher) {}

// A transaction left without commit or rollback (an early return) is undone here; only a killed
// process leaves one to recover.
InstallTransaction::~InstallTransaction() {
    (void)rollback(); // nothing more can be done here; rollback logs nothing on success
}

bool InstallTransaction::isReservedName(const std::string& name) {
    return asciiLower(name).rfind(asciiLower(kFolderName), 0) == 0;
}

std::string InstallTransaction::folder() const {
    return transactionFolder(m_launcher);
}

std::string InstallTransaction::target(const std::string& relative) const {
    return File::join(m_launcher.baseFolder, relative);
}

Status InstallTransaction::begin() {
    if (File::isPresent(folder()))
        recover(m_launcher);
    if (File::isPresent(folder()))
        return fail("an earlier installation could not be undone: " + folder());
    std::error_code error;
    fs::create_directories(File::join(folder(), "stage"), error);
    if (!error)
        fs::create_directories(backupFolder(folder()), error);
    if (error)
        return fail("cannot create " + folder() + ": " + error.message());
    m_journal = ::open(journalPath(folder()).c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_journal < 0)
        return fail("cannot create the journal: " + std::string(std::strerror(errno)));
    File::syncFolder(folder());
    File::syncFolder(m_launcher.baseFolder);
    m_begun = true;
    return Status::ok();
}

Expected<std::string> InstallTransaction::stage(const std::string& source) {
    std::string staged = File::join(folder(), "stage/" + std::to_string(m_next++));
    if (!m_launcher.file.copyPath(source, staged))
        return fail("cannot copy " + source);
    // On the disk before the journal says it went in: a power cut must not leave empty files.
    if (Status synced = File::syncTree(staged); !synced)
        return fail("cannot write " + source + " to the disk: " + synced.error());
    return staged;
}

Status InstallTransaction::planFolder(const std::string& relative) {
    if (relative.empty() || m_plannedFolders.count(relative) || File::isFolder(target(relative)))
        return Status::ok();
    if (File::isPresent(target(relative)))
        return fail(relative + " is not a folder");
    if (Status parent = planFolder(fs::path(relative).parent_path().string()); !parent)
        return parent;
    m_planned.push_back({Change::Kind::CreateFolder, relative, -1, {}});
    m_plannedFolders.insert(relative);
    return Status::ok();
}

Status InstallTransaction::planFile(const std::string& relative, const std::string& staged) {
    if (Status parent = planFolder(fs::path(relative).parent_path().string()); !parent)
        return parent;
    if (File::isPresent(target(relative)))
        m_planned.push_back({Change::Kind::ToBackup, relative, m_next++, {}});
    m_planned.push_back({Change::Kind::IntoPlace, relative, -1, staged});
    return Status::ok();
}

Status InstallTransaction::applyPlanned() {
    std::vector<Change> planned = std::exchange(m_planned, {});
    m_plannedFolders.clear();
    std::string lines;
    for (const Change& change : planned) {
        lines += change.kind == Change::Kind::ToBackup
                     ? compactJson(
                           nlohmann::ordered_json::array({"moved", change.slot, change.relative}))
                     : changeLine("created", change.relative);
        lines += '\n';
    }
    // One write for the whole group: its lines are on the disk before any of its changes.
    for (size_t done = 0; done < lines.size();) {
        ssize_t written = ::write(m_journal, lines.data() + done, lines.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail("cannot write the journal: " + std::string(std::strerror(errno)));
        done += static_cast<size_t>(written);
    }
    if (Status flushed = File::flushToDisk(m_journal); !flushed)
        return fail("cannot write the journal to the disk: " + flushed.error());
    for (const Change& change : planned)
        if (Status made = make(change); !made)
            return made;
    return Status::ok();
}

Status InstallTransaction::make(const Change& change) {
    const std::string item = target(change.relative);
    m_touchedFolders.insert(parentOf(item));
    switch (change.kind) {
    case Change::Kind::CreateFolder: {
        std::error_code error;
        fs::create_directory(item, error);
        if (!error)
            return Status::ok();
        // As any folder that cannot be created: the visitor is told which and why.
        m_launcher.platform.alerts.critical(item + " - " + error.message());
        return fail("cannot create " + change.relative + ": " + error.message());
    }
    case Change::Kind::ToBackup:
        // A locked item would refuse the rename; the release replaces it all the same.
        if (m_launcher.platform.fileFlags.isImmutable(item))
            (void)m_launcher.file.clearImmutableFlag(item); // a failure shows in the rename
        if (Status moved = Mover{m_launcher, {}}.relocate(item, backupPath(folder(), change.slot));
            !moved)
            return fail("cannot move " + change.relative + " aside: " + moved.error());
        return Status::ok();
    case Change::Kind::IntoPlace:
        if (Status placed = Mover{m_launcher, {}}.relocate(change.staged, item); !placed)
            return fail("cannot put " + change.relative + " in place: " + placed.error());
        return Status::ok();
    }
    return Status::ok();
}

Status InstallTransaction::remove(const std::string& relative) {
    if (!File::isPresent(target(relative)))
        return Status::ok();
    m_planned.push_back({Change::Kind::ToBackup, relative, m_next++, {}});
    return applyPlanned();
}

Status InstallTransaction::replace(const std::string& relative, const std::string& staged) {
    if (Status planned = planFile(relative, staged); !planned) {
        m_planned.clear();
        m_plannedFolders.clear();
        return planned;
    }
    return applyPlanned();
}

Status InstallTransaction::merge(const std::string& relative, const std::string& staged) {
    struct Entry {
        std::string path;
        bool folder;
    };
    std::vector<Entry> entries; // listed first: putting files in place empties the stage
    std::error_code error;
    for (fs::recursive_directory_iterator it(staged, error), end; !error && it != end;
         it.increment(error))
        entries.push_back({it->path().lexically_relative(staged).string(),
                           it->symlink_status().type() == fs::file_type::directory});
    if (error)
        return fail("cannot read " + staged + ": " + error.message());
    Status planned = planFolder(relative);
    for (size_t i = 0; planned && i < entries.size(); ++i) {
        std::string name = relative + "/" + entries[i].path;
        planned = entries[i].folder ? planFolder(name)
                                    : planFile(name, File::join(staged, entries[i].path));
    }
    if (!planned) {
        m_planned.clear();
        m_plannedFolders.clear();
        return planned;
    }
    return applyPlanned();
}

Status InstallTransaction::commit() {
    for (const std::string& changed : m_touchedFolders)
        File::syncFolder(changed);
    std::string line = compactJson(nlohmann::ordered_json::array({"committed"})) + "\n";
    if (::write(m_journal, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        return fail("cannot write the journal: " + std::string(std::strerror(errno)));
    if (Status flushed = File::flushToDisk(m_journal); !flushed)
        return fail("cannot write the journal to the disk: " + flushed.error());
    ::close(m_journal);
    m_journal = -1;
    m_begun = false;
    // The backup is not needed any more; one that cannot go is set aside.
    if (std::string note = removeFolder(m_launcher); !note.empty())
        m_launcher.writeLog("Update: the installation is complete but " + note);
    return Status::ok();
}

Status InstallTransaction::rollback() {
    if (!std::exchange(m_begun, false))
        return Status::ok(); // never begun: the folder (if any) is an earlier one to recover
    if (m_journal >= 0) {
        ::close(m_journal);
        m_journal = -1;
    }
    auto undone = undoJournal(m_launcher, {});
    if (!undone)
        return fail(undone.error());
    if (!undone->note.empty())
        m_launcher.writeLog("Update rollback: " + undone->note);
    return Status::ok();
}

void InstallTransaction::recover(Launcher& launcher, const std::function<void()>& beforeChange) {
    if (!File::isPresent(transactionFolder(launcher)))
        return;
    auto undone = undoJournal(launcher, beforeChange);
    if (!undone) {
        launcher.writeLog("Update recovery: " + undone.error());
        return;
    }
    std::string text = undone->committed ? "removed the backup of a finished installation"
                                         : "undid an interrupted installation (" +
                                               std::to_string(undone->changes) + " changes)";
    if (undone->ignored > 0)
        text += "; ignored " + std::to_string(undone->ignored) + " unreadable journal lines";
    if (!undone->note.empty())
        text += "; " + undone->note;
    launcher.writeLog("Update recovery: " + text);
}

} // namespace dravik
