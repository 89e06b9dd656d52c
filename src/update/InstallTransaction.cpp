#include "update/InstallTransaction.h"

#include "common/File.h"
#include "common/JsonText.h"
#include "common/Launcher.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dravik {

namespace fs = std::filesystem;

namespace {

std::string transactionFolder(const Launcher& launcher) {
    return File::join(launcher.baseFolder, InstallTransaction::kFolderName);
}

std::string journalPath(const std::string& folder) {
    return File::join(folder, "journal");
}

std::string backupPath(const std::string& folder, int slot) {
    return File::join(folder, "backup/" + std::to_string(slot));
}

struct Undone {
    bool committed = false;
    int changes = 0;
};

// Undoes the journal's changes, newest first; a committed journal only needs its folder removed.
// A line cut short by an interruption is ignored: the change it announces never started.
Expected<Undone> undoJournal(const Launcher& launcher) {
    const std::string folder = transactionFolder(launcher);
    Expected<std::string> journal = File::readAll(journalPath(folder));
    std::vector<nlohmann::json> entries;
    // No journal: nothing was changed yet.
    std::istringstream lines(journal ? *journal : std::string());
    for (std::string line; std::getline(lines, line);) {
        auto entry = parseJson(line);
        if (entry && entry->is_array() && !entry->empty() && (*entry)[0].is_string())
            entries.push_back(std::move(*entry));
    }
    Undone undone;
    for (const auto& entry : entries)
        undone.committed = undone.committed || entry[0] == "committed";

    std::string failures;
    for (auto it = entries.rbegin(); !undone.committed && it != entries.rend(); ++it) {
        const nlohmann::json& entry = *it;
        std::error_code error;
        if (entry[0] == "created" && entry.size() == 2 && entry[1].is_string()) {
            std::string item = File::join(launcher.baseFolder, entry[1].get<std::string>());
            if (File::isPresent(item)) {
                fs::remove_all(item, error);
                ++undone.changes;
            }
        } else if (entry[0] == "moved" && entry.size() == 3 && entry[1].is_number_integer() &&
                   entry[2].is_string()) {
            std::string saved = backupPath(folder, entry[1].get<int>());
            if (File::isPresent(saved)) {
                fs::rename(saved, File::join(launcher.baseFolder, entry[2].get<std::string>()),
                           error);
                ++undone.changes;
            }
        }
        if (error)
            failures += (failures.empty() ? "" : "; ") + entry.dump() + ": " + error.message();
    }
    if (!failures.empty())
        return fail("could not undo " + failures);
    std::error_code error;
    fs::remove_all(folder, error);
    if (error)
        return fail("could not remove " + folder + ": " + error.message());
    return undone;
}

} // namespace

InstallTransaction::InstallTransaction(Launcher& launcher) : m_launcher(launcher) {}

// A transaction left without commit or rollback (an early return) is undone here; only a killed
// process leaves one to recover.
InstallTransaction::~InstallTransaction() {
    rollback();
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
        fs::create_directories(File::join(folder(), "backup"), error);
    if (error)
        return fail("cannot create " + folder() + ": " + error.message());
    m_journal = ::open(journalPath(folder()).c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (m_journal < 0)
        return fail("cannot create the journal: " + std::string(std::strerror(errno)));
    m_begun = true;
    return Status::ok();
}

// Written before the change it announces; a write per line survives the process being killed.
Status InstallTransaction::journal(const std::string& line) {
    const std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = ::write(m_journal, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail("cannot write the journal: " + std::string(std::strerror(errno)));
        done += static_cast<size_t>(written);
    }
    return Status::ok();
}

Expected<std::string> InstallTransaction::stage(const std::string& source) {
    std::string staged = File::join(folder(), "stage/" + std::to_string(m_next++));
    if (!m_launcher.file.copyPath(source, staged))
        return fail("cannot copy " + source);
    return staged;
}

Status InstallTransaction::moveToBackup(const std::string& relative) {
    const int slot = m_next++;
    if (Status logged =
            journal(compactJson(nlohmann::ordered_json::array({"moved", slot, relative})));
        !logged)
        return logged;
    std::error_code error;
    fs::rename(target(relative), backupPath(folder(), slot), error);
    if (error)
        return fail("cannot move " + relative + " aside: " + error.message());
    return Status::ok();
}

Status InstallTransaction::remove(const std::string& relative) {
    return File::isPresent(target(relative)) ? moveToBackup(relative) : Status::ok();
}

Status InstallTransaction::ensureFolder(const std::string& relative) {
    if (relative.empty() || File::isFolder(target(relative)))
        return Status::ok();
    if (File::isPresent(target(relative)))
        return fail(relative + " is not a folder");
    if (Status parent = ensureFolder(fs::path(relative).parent_path().string()); !parent)
        return parent;
    if (Status logged = journal(compactJson(nlohmann::ordered_json::array({"created", relative})));
        !logged)
        return logged;
    std::error_code error;
    fs::create_directory(target(relative), error);
    if (error)
        return fail("cannot create " + relative + ": " + error.message());
    return Status::ok();
}

Status InstallTransaction::putInPlace(const std::string& relative, const std::string& staged) {
    if (Status parent = ensureFolder(fs::path(relative).parent_path().string()); !parent)
        return parent;
    if (File::isPresent(target(relative))) {
        m_launcher.file.clearImmutableFlag(target(relative));
        if (Status moved = moveToBackup(relative); !moved)
            return moved;
    }
    if (Status logged = journal(compactJson(nlohmann::ordered_json::array({"created", relative})));
        !logged)
        return logged;
    std::error_code error;
    fs::rename(staged, target(relative), error);
    if (error)
        return fail("cannot put " + relative + " in place: " + error.message());
    return Status::ok();
}

Status InstallTransaction::replace(const std::string& relative, const std::string& staged) {
    return putInPlace(relative, staged);
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
    if (Status made = ensureFolder(relative); !made)
        return made;
    for (const Entry& entry : entries) {
        std::string name = relative + "/" + entry.path;
        Status done =
            entry.folder ? ensureFolder(name) : putInPlace(name, File::join(staged, entry.path));
        if (!done)
            return done;
    }
    return Status::ok();
}

Status InstallTransaction::commit() {
    Status logged = journal(compactJson(nlohmann::ordered_json::array({"committed"})));
    if (!logged)
        return logged;
    ::fsync(m_journal);
    ::close(m_journal);
    m_journal = -1;
    m_begun = false;
    std::error_code error;
    fs::remove_all(folder(), error); // left over, it is removed at the next start
    return Status::ok();
}

Status InstallTransaction::rollback() {
    if (!std::exchange(m_begun, false))
        return Status::ok(); // never begun: the folder (if any) is an earlier one to recover
    if (m_journal >= 0) {
        ::close(m_journal);
        m_journal = -1;
    }
    auto undone = undoJournal(m_launcher);
    if (!undone)
        return fail(undone.error());
    return Status::ok();
}

void InstallTransaction::recover(Launcher& launcher) {
    if (!File::isPresent(transactionFolder(launcher)))
        return;
    auto undone = undoJournal(launcher);
    if (!undone)
        launcher.writeLog("Update recovery: " + undone.error());
    else if (undone->committed)
        launcher.writeLog("Update recovery: removed the backup of a finished installation");
    else
        launcher.writeLog("Update recovery: undid an interrupted installation (" +
                          std::to_string(undone->changes) + " changes)");
}

} // namespace dravik
