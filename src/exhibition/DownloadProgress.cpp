#include "exhibition/DownloadProgress.h"

#include "common/Diagnostics.h"
#include "common/File.h"
#include "common/Launcher.h"
#include "common/PartialDownload.h"
#include "common/RecordCoding.h"
#include "common/SafePath.h"
#include "service/ServiceClient.h"
#include "service/UrlOrigin.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace dravik {

namespace {

constexpr int64_t kMiB = 1048576;
constexpr std::string_view kTokenHostsKey = "Token_Hosts";

std::string formatWhole(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

} // namespace

DownloadProgress::DownloadProgress(Launcher& launcher)
    : m_launcher(launcher), m_list(launcher.downloadList) {
    std::vector<std::string> skipped;
    m_tokenHosts = TokenHosts::parse(launcher.getIniValue(kTokenHostsKey, ""), skipped);
    for (const std::string& line : skipped)
        launcher.writeLog(line);
    for (const DOWNLOAD_FILES& entry : m_list)
        m_total += static_cast<int64_t>(entry.downloadFileList.size());
    skipEmptyEntries();
}

bool DownloadProgress::atEnd() const {
    return m_nDownloadFiles >= static_cast<int64_t>(m_list.size());
}

DownloadProgress::Position DownloadProgress::current() const {
    return {static_cast<size_t>(m_nDownloadFiles), static_cast<size_t>(m_nDownloadFile)};
}

std::optional<DownloadProgress::Position> DownloadProgress::nextToStart() const {
    Position at = m_nextToStart;
    const Position now = current();
    if (at.entry < now.entry || (at.entry == now.entry && at.file < now.file))
        at = now;
    while (at.entry < m_list.size() && at.file >= m_list[at.entry].downloadFileList.size())
        at = {at.entry + 1, 0};
    if (at.entry >= m_list.size())
        return std::nullopt;
    return at;
}

void DownloadProgress::started(Position at) {
    m_nextToStart = {at.entry, at.file + 1};
}

Expected<std::string> DownloadProgress::destination(Position at) const {
    return pathInside(entry(at).path, file(at).filename, NameKind::PlainName);
}

HttpRequest DownloadProgress::request(Position at) const {
    HttpRequest request;
    request.url = file(at).uri;
    request.timeout = m_launcher.timings.requestTimeout;
    // The token is the service's: a file on another host (a delivery network) sees it only when
    // the operator listed that host.
    if (m_launcher.authRecord &&
        (isServiceUrl(m_launcher.serviceBaseUrl, request.url) || m_tokenHosts.allows(request.url)))
        request.headers.push_back(ServiceClient::authorizationHeader(m_launcher.authRecord->token));
    // A file cut short continues at the next run, unless its folder's data have changed by then.
    if (canResume(entry(at), file(at).filename)) {
        request.resumeFile = PartialDownload::dataPath(entry(at).path, file(at).filename);
        request.resumeTag = entry(at).updated_at;
    }
    return request;
}

// Not where the partial file's names would be too long, or would be those of a file of the list.
bool DownloadProgress::canResume(const DOWNLOAD_FILES& entry, const std::string& fileName) {
    constexpr size_t kLongestName = 255;
    if (PartialDownload::infoPath(PartialDownload::dataPath("", fileName)).size() > kLongestName)
        return false;
    return std::none_of(
        entry.downloadFileList.begin(), entry.downloadFileList.end(),
        [](const DOWNLOAD_FILE& file) { return PartialDownload::isPartialName(file.filename); });
}

DownloadProgress::Next DownloadProgress::completed() {
    ++m_nDownloadedCount;
    ++m_nDownloadFile;
    if (m_nDownloadFile >= static_cast<int64_t>(entry().downloadFileList.size())) {
        if (!m_entryIncomplete && m_stampWriter)
            m_stampWriter(entry());
        else if (!m_entryIncomplete)
            writeStamp(entry().path, entry().updated_at);
        m_entryIncomplete = false;
        m_nDownloadFile = 0;
        ++m_nDownloadFiles;
        skipEmptyEntries();
        if (atEnd())
            return Next::Finish;
    }
    return m_launcher.closeRequested ? Next::Finish : Next::StartNext;
}

void DownloadProgress::skipEmptyEntries() {
    while (!atEnd() && entry().downloadFileList.empty())
        ++m_nDownloadFiles;
}

std::string DownloadProgress::fileNameLabel(const DOWNLOAD_FILES& entry,
                                            const DOWNLOAD_FILE& file) {
    if (entry.boothId < 0)
        return file.filename;
    return std::to_string(entry.boothId) + "/" + file.filename;
}

std::string DownloadProgress::sizeLabel(int64_t written, int64_t expected) {
    const bool kilobytes = expected <= kMiB;
    const double divisor = kilobytes ? 1024.0 : static_cast<double>(kMiB);
    return formatWhole(static_cast<double>(written) / divisor) + " / " +
           formatWhole(static_cast<double>(expected) / divisor) + (kilobytes ? " KB" : " MB");
}

int DownloadProgress::percentOfFile(int64_t written, int64_t expected) {
    if (expected <= 0 || written <= 0)
        return 0;
    double percent = static_cast<double>(written) / static_cast<double>(expected) * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

std::string DownloadProgress::elapsedLabel(std::chrono::duration<double> elapsed) {
    return "経過時間:" + formatWhole(elapsed.count());
}

std::string DownloadProgress::fileCountLabel(int64_t done, int64_t total) {
    return std::to_string(done) + "/" + formatWhole(static_cast<double>(total)) + " ファイル";
}

ExhibitionNames DownloadProgress::exhibitionNames(const std::optional<QZ_AUTH>& auth,
                                                  std::optional<int64_t> exhibitionId,
                                                  std::optional<int64_t> hallId) {
    ExhibitionNames names;
    if (!auth || !exhibitionId || !hallId)
        return names;
    for (const QZ_EXHIBITION& exhibition : auth->exhibitions) {
        if (exhibition.id != *exhibitionId)
            continue;
        names.exhibition = exhibition.name;
        if (exhibition.halls) {
            // The last hall with that id names it.
            for (const QZ_HALLINFO& hall : *exhibition.halls) {
                if (hall.id == *hallId)
                    names.hall = hall.name;
            }
        }
        break;
    }
    return names;
}

std::string DownloadProgress::failureText(const std::string& label, const std::string& error,
                                          std::optional<int> status) {
    std::string text = "Download failed: " + label + " - " + error;
    if (status && error.find(std::to_string(*status)) == std::string::npos)
        text += " (HTTP " + std::to_string(*status) + ")";
    return text;
}

int DownloadProgress::parallelDownloads(const Launcher& launcher) {
    constexpr int kMost = 8;
    const std::string text = launcher.getIniValue("Parallel_Downloads", "");
    if (text.empty())
        return 1;
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && value >= 1 && value <= kMost)
        return value;
    launcher.writeLog("Parallel_Downloads=" + text +
                      " is not a whole number from 1 to 8: " + "one transfer at a time");
    return 1;
}

bool DownloadProgress::writeStamp(const std::string& folder, const std::string& updatedAt) {
    Status written = File::writeAtomically(File::join(folder, "updated_at.json"),
                                           encodeRecord(QZ_UPDATED_AT{updatedAt}));
    if (!written)
        printDiagnostic(written.error());
    return written.isOk();
}

} // namespace dravik
