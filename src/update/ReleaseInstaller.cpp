#include "update/ReleaseInstaller.h"

#include "common/Launcher.h"
#include "common/SafePath.h"
#include "common/Unicode.h"
#include "platform/MainThread.h"
#include "platform/Workers.h"
#include "update/ArchiveExtractor.h"
#include "update/InstallTransaction.h"
#include "update/ReleaseArchive.h"

#include <cstdio>
#include <filesystem>

namespace dravik {

namespace {

struct ReleaseList {
    const char* name;
    const std::optional<std::vector<std::string>>& entries;
    bool folders;
};

// A folder name written with a trailing "/" names the same folder.
std::string listedName(const std::string& name, bool folder) {
    std::string result = name;
    while (folder && result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

const std::vector<std::string>& entriesOf(const std::optional<std::vector<std::string>>& list) {
    static const std::vector<std::string> none;
    return list ? *list : none;
}

std::string escapedBytes(const std::string& name) {
    std::string text;
    for (unsigned char c : name) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        text += c >= 0x20 && c < 0x7F ? std::string(1, static_cast<char>(c)) : escaped;
    }
    return text;
}

} // namespace

Status ReleaseInstaller::checkNames(const std::string& release) {
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(release, error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!isValidUtf8(name))
            return fail("a name in the release is not UTF-8: \"" +
                        escapedBytes(it->path().lexically_relative(release).string()) + "\"");
    }
    if (error)
        return fail("cannot read " + release + ": " + error.message());
    return Status::ok();
}

void ReleaseInstaller::start(std::string archivePath,
                             std::function<void(const InstallResult&)> done) {
    Launcher* launcher = &m_launcher;
    launcher->platform.workers.run(
        [launcher, archivePath = std::move(archivePath), done = std::move(done)]() {
            InstallResult result = ReleaseInstaller(*launcher).installRelease(archivePath);
            launcher->platform.mainThread.post([done, result]() { done(result); });
        });
}

std::string ReleaseInstaller::extractFolder() const {
    return File::join(m_launcher.privateFolder, "extract");
}

InstallResult ReleaseInstaller::installRelease(const std::string& archivePath) {
    const File& file = m_launcher.file;
    bool installed = false;
    Status archiveOk = ReleaseArchive::checkPath(m_launcher, archivePath);
    if (!archiveOk) {
        m_launcher.writeLog("Update archive: " + archiveOk.error());
    } else {
        const std::string extract = extractFolder();
        // An earlier release left in the folder would be unpacked together with this one.
        Status cleared = File::exists(extract) ? file.removePath(extract) : Status::ok();
        if (!cleared)
            m_launcher.writeLog("Update: cannot remove " + extract + ": " + cleared.error());
        bool extracted =
            cleared && ArchiveExtractor::extractArchive(m_launcher, archivePath, extract);
        installed = extracted && installFromExtractFolder(extract);
        cleanUp(archivePath);
    }

    m_launcher.closeBlocked = false;
    if (m_launcher.closeRequested)
        return {InstallOutcome::CloseRequested, {}};
    if (installed)
        return {InstallOutcome::Installed, {}};
    return {InstallOutcome::Failed, m_launcher.ini.message("msg33")};
}

void ReleaseInstaller::cleanUp(const std::string& archivePath) {
    const File& file = m_launcher.file;
    // What cannot be removed here is removed before the next update unpacks (and its failure is
    // printed by File): nothing of it is read again.
    const std::string extract = extractFolder();
    if (File::exists(extract))
        (void)file.removePath(extract);
    if (File::exists(archivePath)) {
        (void)file.removePath(archivePath);
        file.deleteArchives(m_launcher.privateFolder);
    }
}

Status ReleaseInstaller::checkReleaseLists(const QZ_VERSION& version) {
    const ReleaseList lists[] = {{"delete_files", version.delete_files, false},
                                 {"delete_folders", version.delete_folders, true},
                                 {"copy_files", version.copy_files, false},
                                 {"copy_folders", version.copy_folders, true}};
    for (const ReleaseList& list : lists) {
        for (const std::string& name : entriesOf(list.entries)) {
            std::string checked = listedName(name, list.folders);
            if (!isSafeName(checked, NameKind::RelativePath))
                return fail(std::string(list.name) + ": " +
                            pathInside({}, checked, NameKind::RelativePath).error());
            if (InstallTransaction::isReservedName(checked.substr(0, checked.find('/'))))
                return fail(std::string(list.name) + ": refused name \"" + checked +
                            "\": the installation's own working folder");
        }
    }
    return Status::ok();
}

bool ReleaseInstaller::installFromExtractFolder(const std::string& extractFolder) {
    static const QZ_VERSION noVersion{};
    const QZ_VERSION& version = m_launcher.remoteVersion ? *m_launcher.remoteVersion : noVersion;
    // Nothing is deleted before every name has been found to stay inside its folder.
    Status names = checkReleaseLists(version);
    if (!names) {
        m_launcher.writeLog("Update " + names.error());
        return false;
    }
    std::vector<std::string> entries = m_launcher.file.listFolder(extractFolder);
    if (entries.size() != 1)
        return false;
    // The journal records names as text: one that is not would be put back under another name.
    if (Status readable = checkNames(File::join(extractFolder, entries.front())); !readable) {
        m_launcher.writeLog("Update refused: " + readable.error());
        return false;
    }

    InstallTransaction transaction(m_launcher);
    Status applied = apply(transaction, version, File::join(extractFolder, entries.front()));
    if (applied)
        applied = transaction.commit();
    if (!applied) {
        m_launcher.writeLog("Update failed: " + applied.error());
        if (Status undone = transaction.rollback(); !undone)
            m_launcher.writeLog("Update failed: " + undone.error());
        return false;
    }
    return true;
}

Status ReleaseInstaller::apply(InstallTransaction& transaction, const QZ_VERSION& version,
                               const std::string& release) {
    if (Status begun = transaction.begin(); !begun)
        return begun;
    // Everything the release brings is copied beside the installation first: a copy that fails
    // (a full disk) has not changed the installation yet.
    struct Copy {
        std::string name;
        std::string staged;
        bool merge;
    };
    std::vector<Copy> copies;
    auto stage = [&](const std::vector<std::string>& names, bool folders) -> Status {
        for (const std::string& listed : names) {
            std::string name = listedName(listed, folders);
            std::string source = File::join(release, name);
            if (!File::exists(source) || (folders && !File::isFolder(source)))
                continue; // absent from the release (or not a folder where one is listed)
            auto staged = transaction.stage(source);
            if (!staged)
                return fail(staged.error());
            copies.push_back({name, *staged, folders});
        }
        return Status::ok();
    };
    if (Status staged = stage(entriesOf(version.copy_files), false); !staged)
        return staged;
    if (Status staged = stage(entriesOf(version.copy_folders), true); !staged)
        return staged;

    for (const auto* list : {&version.delete_files, &version.delete_folders}) {
        for (const std::string& name : entriesOf(*list)) {
            if (Status removed =
                    transaction.remove(listedName(name, list == &version.delete_folders));
                !removed)
                return removed;
        }
    }
    for (const Copy& copy : copies) {
        Status done = copy.merge ? transaction.merge(copy.name, copy.staged)
                                 : transaction.replace(copy.name, copy.staged);
        if (!done)
            return done;
    }

    return makeProgramsExecutable();
}

// A program left without its execute bit would not start: that is a failed installation, undone
// like any other.
Status ReleaseInstaller::makeProgramsExecutable() {
    for (const std::string& program :
         {m_launcher.exhibitionPath("Kestrane.app/Contents/MacOS/Kestrane"),
          File::join(m_launcher.baseFolder, "Dravik.app/Contents/MacOS/Dravik")}) {
        if (Status executable = m_launcher.file.makeExecutable(program); !executable)
            return fail("cannot make " + program + " executable: " + executable.error());
    }
    return Status::ok();
}

} // namespace dravik
