#pragma once

// After the sign-in: fetch the hall that the invitation opened, apply the lobby display setting,
// remove hall and booth data whose change stamp no longer matches the service's, and fill
// launcher.downloadList with what has to be fetched again.
//
//   workers.run([&] { ExhibitionDataSync(launcher).run([&] { finishSignIn(); }); });
//
// Everything runs on the calling worker thread, except the reading of the booth stamps, which
// runs beside the hall request; alerts block the worker until the visitor closes them.

#include "common/DownloadList.h"
#include "common/Records.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace dravik {

class BoothStamps;
class Launcher;

class ExhibitionDataSync {
public:
    explicit ExhibitionDataSync(Launcher& launcher) : m_launcher(launcher) {}

    // The whole sync; handOver is called at its end, whatever happened before.
    void run(const std::function<void()>& handOver);

    // <base>/Exhibition/BackgroundData/exhibition<E>_hall<H>
    std::string backgroundDataFolder(int64_t exhibitionId, int64_t hallId) const;

    // One folder's download entry, or none when a file name would leave the folder (logged).
    std::optional<DOWNLOAD_FILES> downloadEntry(int64_t boothId, const std::string& folder,
                                                const std::string& updatedAt,
                                                const std::vector<QZ_FILE>& files) const;

private:
    void applyLobbyDisplay(bool on);
    // The hall record of the invitation, or none (also after a reported decoding failure).
    std::optional<QZ_HALL> fetchHall();
    void refreshFolders(const QZ_HALL& hall, const std::string& folder,
                        const BoothStamps& localStamps);
    // Removes the plain files of the hall folder, keeping the booth folders and the partial
    // downloads of the hall's files for stamp. False when the folder cannot be listed (alert
    // shown) or a file in it cannot be removed (run-log line): nothing of the hall is fetched then.
    bool removeHallFiles(const std::string& folder, const std::string& stamp);
    // Removes an outdated booth folder, or everything in it but the partial downloads of its
    // files for stamp. False (run-log line) when something in it cannot be removed.
    bool clearBoothFolder(const std::string& folder, const std::string& stamp);
    // Removes the item; false with a run-log line when it cannot be.
    bool removeOrLog(const std::string& path);
    static bool isPartialOf(const std::string& folder, const std::string& name,
                            const std::string& stamp);

    Launcher& m_launcher;
};

} // namespace dravik
