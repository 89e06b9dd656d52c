#pragma once

// The download view's bookkeeping without the view: which file of launcher.downloadList comes
// next, the stamp of a folder once its files are all there, and the texts of the labels.

#include "base/Expected.h"
#include "common/DownloadList.h"
#include "common/Records.h"
#include "platform/Http.h"
#include "service/TokenHosts.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace dravik {

class Launcher;

struct ExhibitionNames {
    std::string exhibition;
    std::string hall;
};

class DownloadProgress {
public:
    // Over launcher.downloadList, which must not change while this object is used.
    explicit DownloadProgress(Launcher& launcher);

    // Files of the whole list.
    int64_t total() const { return m_total; }
    int64_t downloadedCount() const { return m_nDownloadedCount; }
    bool atEnd() const;

    // A file of the list: its entry's and its own index.
    struct Position {
        size_t entry = 0;
        size_t file = 0;
    };
    // The current file: the first one not completed yet; only while !atEnd().
    Position current() const;
    const DOWNLOAD_FILES& entry(Position at) const { return m_list[at.entry]; }
    const DOWNLOAD_FILE& file(Position at) const { return entry(at).downloadFileList[at.file]; }
    const DOWNLOAD_FILES& entry() const { return entry(current()); }
    const DOWNLOAD_FILE& file() const { return file(current()); }
    std::string fileNameLabel(Position at) const { return fileNameLabel(entry(at), file(at)); }
    std::string fileNameLabel() const { return fileNameLabel(current()); }
    // The file's place in its entry's folder, or why its name is refused.
    Expected<std::string> destination(Position at) const;
    Expected<std::string> destination() const { return destination(current()); }
    // GET of the file's uri, with the bearer token when it goes to the service or to a host
    // listed in Token_Hosts; a body cut short is kept beside the file, for the entry's stamp.
    HttpRequest request(Position at) const;
    HttpRequest request() const { return request(current()); }
    // The next file to start, in list order, from the current one on: transfers may run ahead
    // of completed(), which still counts and stamps in list order. Empty at the end.
    std::optional<Position> nextToStart() const;
    // The file at has started: the next to start is the one after it.
    void started(Position at);

    enum class Next {
        StartNext, // start the transfer of the (new) current file
        Finish,    // the list is done, or a close was requested meanwhile
    };
    // A transfer ended without error: counts it, and when it was the last file of its folder,
    // writes the folder's stamp file (unless a file of the folder could not be put in place)
    // and moves on to the next entry.
    Next completed();
    // The current file's body could not be moved into place: its folder is left without a stamp,
    // so that the next run fetches it again.
    void markCurrentFileMissing() { m_entryIncomplete = true; }

    // "poster.png" for the hall's files, "57/poster.png" for booth 57's.
    static std::string fileNameLabel(const DOWNLOAD_FILES& entry, const DOWNLOAD_FILE& file);
    // "50 / 100 KB", "0 / 2 MB": both numbers in KB up to an expected 1 MiB, else in MB.
    static std::string sizeLabel(int64_t written, int64_t expected);
    // The current file's percentage for a bar of 0 to 100; 0 while the size is unknown.
    static int percentOfFile(int64_t written, int64_t expected);
    // "経過時間:12"
    static std::string elapsedLabel(std::chrono::duration<double> elapsed);
    // "3/12 ファイル"
    static std::string fileCountLabel(int64_t done, int64_t total);
    // The invited exhibition's and hall's names from the sign-in's exhibitions; "" when unknown.
    static ExhibitionNames exhibitionNames(const std::optional<QZ_AUTH>& auth,
                                           std::optional<int64_t> exhibitionId,
                                           std::optional<int64_t> hallId);
    // The run-log line of a failed transfer.
    static std::string failureText(const std::string& label, const std::string& error,
                                   std::optional<int> status);
    // How many transfers may be on their way at once: Dravik.ini's Parallel_Downloads, 1 to 8;
    // 1 when absent or empty, and, with a run-log line, when it is anything else.
    static int parallelDownloads(const Launcher& launcher);
    // Writes <folder>/updated_at.json; a failure is printed on standard output.
    static bool writeStamp(const std::string& folder, const std::string& updatedAt);
    // Where completed() hands a folder whose files are all in place, instead of writing its stamp
    // at once.
    void setStampWriter(std::function<void(const DOWNLOAD_FILES&)> writer) {
        m_stampWriter = std::move(writer);
    }

private:
    static bool canResume(const DOWNLOAD_FILES& entry, const std::string& fileName);
    // Steps over entries without files, which have nothing to fetch.
    void skipEmptyEntries();

    Launcher& m_launcher;
    const DownloadList& m_list;
    TokenHosts m_tokenHosts;
    int64_t m_total = 0;
    int64_t m_nDownloadFiles = 0;   // index of the current entry
    int64_t m_nDownloadFile = 0;    // index of the current file within it
    int64_t m_nDownloadedCount = 0; // transfers completed
    Position m_nextToStart;         // the first file not started yet
    bool m_entryIncomplete = false; // a file of the current entry is not in place
    std::function<void(const DOWNLOAD_FILES&)> m_stampWriter;
};

} // namespace dravik
