#include "update/ReleaseInstaller.h"

#include "common/Launcher.h"
#include "common/SafePath.h"
#include "platform/MainThread.h"
#include "platform/Workers.h"
#include "update/ArchiveExtractor.h"
#include "update/ReleaseArchive.h"

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

} // namespace

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
        if (File::exists(extract))
            file.removePath(extract);
        bool extracted = ArchiveExtractor::extractArchive(m_launcher, archivePath, extract);
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
    const std::string extract = extractFolder();
    if (File::exists(extract))
        file.removePath(extract);
    if (File::exists(archivePath)) {
        file.removePath(archivePath);
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
        }
    }
    return Status::ok();
}

bool ReleaseInstaller::removeListed(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::string target = File::join(m_launcher.baseFolder, name);
        if (File::exists(target) && !m_launcher.file.removePath(target))
            return false;
    }
    return true;
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

    const File& file = m_launcher.file;
    std::vector<std::string> entries = file.listFolder(extractFolder);
    if (entries.size() != 1)
        return false;
    const std::string release = File::join(extractFolder, entries.front());

    std::vector<std::string> deleteFolders;
    for (const std::string& name : entriesOf(version.delete_folders))
        deleteFolders.push_back(listedName(name, true));
    if (!removeListed(entriesOf(version.delete_files)) || !removeListed(deleteFolders))
        return false;

    for (const std::string& name : entriesOf(version.copy_files)) {
        std::string source = File::join(release, name);
        if (!File::exists(source))
            continue;
        std::string destination = File::join(m_launcher.baseFolder, name);
        if (File::exists(destination))
            file.clearImmutableFlag(destination);
        if (!file.copyPath(source, destination))
            return false;
    }
    for (const std::string& listed : entriesOf(version.copy_folders)) {
        std::string name = listedName(listed, true);
        std::string source = File::join(release, name);
        if (File::exists(source) &&
            !file.copyFolderTree(source, File::join(m_launcher.baseFolder, name)))
            return false;
    }

    file.makeExecutable(m_launcher.exhibitionPath("Kestrane.app/Contents/MacOS/Kestrane"));
    file.makeExecutable(File::join(m_launcher.baseFolder, "Dravik.app/Contents/MacOS/Dravik"));
    return true;
}

} // namespace dravik
