#include "exhibition/ExhibitionDataSync.h"

#include "common/File.h"
#include "common/Launcher.h"
#include "common/LobbyDisplaySetting.h"
#include "common/PartialDownload.h"
#include "common/RecordCoding.h"
#include "common/SafePath.h"
#include "common/Unicode.h"
#include "common/UserFile.h"
#include "exhibition/BoothStamps.h"
#include "platform/Http.h"
#include "service/ServiceClient.h"

#include <filesystem>
#include <future>
#include <unordered_map>

namespace dravik {

namespace fs = std::filesystem;

namespace {

const char* const kPreparing = "<ファイルダウンロードの準備>";
const char* const kHallRequestFailed = "Hall request failed: ";

// The service's text as it may appear in the run log: one line, without control characters.
std::string printable(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

} // namespace

void ExhibitionDataSync::run(const std::function<void()>& handOver) {
    const std::string lobby = lobbyDisplaySetting(m_launcher);
    if (lobby == "ON")
        applyLobbyDisplay(true);
    else if (lobby == "OFF")
        applyLobbyDisplay(false);
    const bool backgroundLoading =
        asciiUpper(m_launcher.getIniValue("Background_Loading", "OFF")) == "ON";

    // The booth stamps are read while the hall is requested and decoded: the two take about as
    // long for a large hall.
    std::future<BoothStamps> localStamps;
    std::string folder;
    if (backgroundLoading && m_launcher.invitedExhibitionId && m_launcher.invitedHallId) {
        folder = backgroundDataFolder(*m_launcher.invitedExhibitionId, *m_launcher.invitedHallId);
        localStamps =
            std::async(std::launch::async | std::launch::deferred, &BoothStamps::read, folder);
    }
    if (std::optional<QZ_HALL> hall = fetchHall()) {
        if (lobby == "AUTO")
            applyLobbyDisplay(hall->hallSize != 3);
        if (localStamps.valid())
            refreshFolders(*hall, folder, localStamps.get());
    }
    if (handOver)
        handOver();
}

void ExhibitionDataSync::applyLobbyDisplay(bool on) {
    Status written = UserFile(m_launcher).setLobbyDisplay(on);
    if (!written)
        showAlertAndWait(m_launcher, written.error());
}

std::optional<QZ_HALL> ExhibitionDataSync::fetchHall() {
    if (!m_launcher.authRecord || !m_launcher.invitedExhibitionId || !m_launcher.invitedHallId)
        return std::nullopt;
    HttpRequest request;
    request.url =
        m_launcher.apiUrl("exhibitions/" + std::to_string(*m_launcher.invitedExhibitionId) +
                          "/halls/" + std::to_string(*m_launcher.invitedHallId) + "/");
    request.timeout = m_launcher.timings.requestTimeout;
    request.headers.push_back(ServiceClient::authorizationHeader(m_launcher.authRecord->token));
    Expected<HttpResponse> response = m_launcher.platform.http.request(request);
    if (!ServiceClient::succeededWithBody(response)) {
        // Silent for the visitor, but not for whoever reads the log.
        std::string detail = ServiceClient::failureDetail(response);
        m_launcher.writeLog(kHallRequestFailed + request.url + " - " +
                            printable(detail.empty() ? "empty reply" : detail));
        return std::nullopt;
    }

    ServiceClient(m_launcher).keepReplyCopy("hall.json", *response->body);
    auto hall = decodeRecord<QZ_HALL>(*response->body);
    if (!hall) {
        showAlertAndWait(m_launcher, kPreparing + hall.error());
        return std::nullopt;
    }
    return std::move(*hall);
}

std::string ExhibitionDataSync::backgroundDataFolder(int64_t exhibitionId, int64_t hallId) const {
    return m_launcher.exhibitionPath("BackgroundData/exhibition" + std::to_string(exhibitionId) +
                                     "_hall" + std::to_string(hallId));
}

std::optional<DOWNLOAD_FILES>
ExhibitionDataSync::downloadEntry(int64_t boothId, const std::string& folder,
                                  const std::string& updatedAt,
                                  const std::vector<QZ_FILE>& files) const {
    DOWNLOAD_FILES entry{boothId, folder, updatedAt, {}};
    for (const QZ_FILE& file : files) {
        // A name that would leave the folder refuses the whole folder: queuing the rest would
        // stamp it as complete without that file.
        if (auto path = pathInside(folder, file.fileName, NameKind::PlainName); !path) {
            m_launcher.writeLog(kPreparing + printable(path.error()) + " (" + folder + ")");
            return std::nullopt;
        }
        entry.downloadFileList.push_back({file.fileName, file.uri});
    }
    return entry;
}

void ExhibitionDataSync::refreshFolders(const QZ_HALL& hall, const std::string& folder,
                                        const BoothStamps& localStamps) {
    DownloadList& list = m_launcher.downloadList;

    if (BoothStamps::stampIn(folder) != hall.updated_at) {
        if (File::exists(folder) && !removeHallFiles(folder, hall.updated_at))
            return;
        if (!hall.files.empty()) {
            if (auto entry = downloadEntry(-1, folder, hall.updated_at, hall.files))
                list.push_back(std::move(*entry));
        }
    }

    // The service's stamp of each booth is its first updated_ats entry, "" for none; looked up
    // once per booth, as a hall may hold thousands of booths.
    std::unordered_map<int64_t, const std::string*> stamps;
    for (const QZ_UPDATED_ATS& entry : hall.booths.updated_ats)
        stamps.emplace(entry.id, &entry.updated_at);
    for (const QZ_FILES& booth : hall.booths.files) {
        std::string name = std::to_string(booth.id);
        auto stamp = stamps.find(booth.id);
        std::string serviceStamp = stamp == stamps.end() ? std::string() : *stamp->second;
        if (localStamps.stampOf(name) == serviceStamp)
            continue;
        std::string boothFolder = File::join(folder, name);
        if (booth.files.empty()) {
            if (File::exists(boothFolder))
                removeOrLog(boothFolder);
            continue;
        }
        // New files among old ones would be stamped as one folder: a booth whose old files stay
        // waits for a later start instead.
        if (File::exists(boothFolder) && !clearBoothFolder(boothFolder, serviceStamp))
            continue;
        if (auto entry = downloadEntry(booth.id, boothFolder, serviceStamp, booth.files))
            list.push_back(std::move(*entry));
    }
}

// A partial download of the folder's present data, which the download continues.
bool ExhibitionDataSync::isPartialOf(const std::string& folder, const std::string& name,
                                     const std::string& stamp) {
    if (!PartialDownload::isPartialName(name))
        return false;
    std::string data =
        File::join(folder, name.ends_with(".json") ? name.substr(0, name.size() - 5) : name);
    std::optional<PartialDownload> partial = PartialDownload::read(data);
    std::error_code ignored;
    return partial && partial->tag == stamp && !partial->validator.empty() &&
           partial->isFresh(std::chrono::system_clock::now()) &&
           fs::is_regular_file(fs::symlink_status(data, ignored));
}

bool ExhibitionDataSync::clearBoothFolder(const std::string& folder, const std::string& stamp) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    bool kept = false;
    for (const std::string& name : names) {
        if (!error && isPartialOf(folder, name, stamp))
            kept = true;
        else if (!removeOrLog(File::join(folder, name)))
            return false;
    }
    return kept || removeOrLog(folder);
}

bool ExhibitionDataSync::removeOrLog(const std::string& path) {
    Status removed = m_launcher.file.removePath(path);
    if (!removed)
        m_launcher.writeLog(kPreparing + removed.error() + " (" + path + ")");
    return removed.isOk();
}

bool ExhibitionDataSync::removeHallFiles(const std::string& folder, const std::string& stamp) {
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path().string());
    if (error) {
        showAlertAndWait(m_launcher, kPreparing + error.message());
        return false;
    }
    for (const std::string& entry : entries) {
        // A folder standing where the stamp file belongs would keep the stamp from ever being
        // written, and the hall's files would download again on every run.
        std::string name = fs::path(entry).filename().string();
        bool stampInTheWay = name == "updated_at.json";
        if (((!File::isFolder(entry) && !isPartialOf(folder, name, stamp)) || stampInTheWay) &&
            !removeOrLog(entry))
            return false;
    }
    return true;
}

} // namespace dravik
