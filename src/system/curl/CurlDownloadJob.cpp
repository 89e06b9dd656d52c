#include "system/curl/CurlDownloadJob.h"

#include "common/File.h"
#include "common/PartialDownload.h"
#include "platform/MainThread.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dravik {

namespace {

using Clock = TransferEngine::Clock;

// A download reports progress at most this often; the last figures always follow at the end.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);
// Received data goes to the temporary file in pieces of about this size. Larger pieces leave the
// connection unread for longer at each write: side by side on a loopback server, 512 KiB made
// 1 GiB and 20 x 50 MiB downloads 15 to 25 % slower than 64 KiB did.
constexpr size_t kWriteChunkBytes = 64u * 1024u;
// Bodies announced smaller than this are fetched whole again when cut short.
constexpr int64_t kSmallestKept = 1 << 20;

// The value of a header line with this name (lower case), without the line break.
std::optional<std::string> headerValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':')
        return std::nullopt;
    for (size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i])
            return std::nullopt;
    }
    std::string_view value = line.substr(name.size() + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ' ||
                              value.back() == '\t'))
        value.remove_suffix(1);
    return std::string(value);
}

struct ContentRange {
    int64_t first = 0;
    int64_t last = 0;
    int64_t total = -1; // -1 for "*"
};

std::optional<int64_t> number(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "bytes <first>-<last>/<total or *>"
std::optional<ContentRange> parseContentRange(std::string_view text) {
    if (!text.starts_with("bytes "))
        return std::nullopt;
    text.remove_prefix(6);
    size_t dash = text.find('-');
    size_t slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    auto first = number(text.substr(0, dash));
    auto last = number(text.substr(dash + 1, slash - dash - 1));
    std::string_view totalText = text.substr(slash + 1);
    auto total = totalText == "*" ? std::optional<int64_t>(-1) : number(totalText);
    if (!first || !last || !total || *last < *first || (*total >= 0 && *last >= *total))
        return std::nullopt;
    return ContentRange{*first, *last, *total};
}

// Opens a file in folder, which is made first if it is missing (most often it is there).
template <typename Open> int inFolderMadeIfMissing(const std::string& folder, Open open) {
    int fd = open();
    if (fd >= 0 || errno != ENOENT)
        return fd;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error)
        return open();
    errno = error.value(); // why the file cannot be made there
    return fd;
}

} // namespace

std::string CurlDownloadJob::openTemporaryFile() {
    const std::string pattern = folder + "/.download-XXXXXX";
    std::vector<char> name;
    fd = inFolderMadeIfMissing(folder, [&] {
        name.assign(pattern.begin(), pattern.end()); // a failed try has filled in the Xs
        name.push_back('\0');
        return ::mkostemp(name.data(), O_CLOEXEC);
    });
    if (fd < 0)
        return "Cannot create a temporary file in " + folder + ": " + std::strerror(errno);
    temporaryFile = name.data();
    return {};
}

// Opens the partial file; what it holds is continued when its description says it may be.
std::string CurlDownloadJob::openResumeFile() {
    const std::string& path = request.resumeFile;
    fd = inFolderMadeIfMissing(std::filesystem::path(path).parent_path().string(), [&] {
        return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    });
    if (fd < 0)
        return "Cannot create " + path + ": " + std::strerror(errno);
    temporaryFile = path;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return "Cannot write " + path + ": not a file";
    resumeFrom = 0;
    if (status.st_size == 0)
        return {}; // nothing kept, the common case: no description to read
    described = true;
    std::optional<PartialDownload> kept = PartialDownload::read(path);
    if (!startedAgain && kept &&
        kept->continues(request.url, request.resumeTag, std::chrono::system_clock::now())) {
        resumeFrom = status.st_size;
        resumable = true;
        validator = kept->validator;
        started = kept->started;
    } else if (!startFromZero()) {
        return "Cannot write " + path + ": " + writeError;
    }
    if (::lseek(fd, resumeFrom, SEEK_SET) < 0)
        return "Cannot write " + path + ": " + std::strerror(errno);
    written = resumeFrom;
    return {};
}

std::string CurlDownloadJob::start(CURL* handle) {
    std::string opened = request.resumeFile.empty() ? openTemporaryFile() : openResumeFile();
    if (!opened.empty())
        return opened;

    easy = handle;
    HttpRequest sent = request;
    if (resumeFrom > 0) {
        sent.headers.emplace_back("Range", "bytes=" + std::to_string(resumeFrom) + "-");
        sent.headers.emplace_back("If-Range", validator);
    }
    if (std::string error = setup.apply(easy, sent, false); !error.empty())
        return error;
    // Downloads running side by side share one HTTP/2 connection where the server offers it,
    // rather than each opening one.
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlDownloadJob::onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlDownloadJob::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    // The timeout counts time without data, as a large file may take longer than it in all.
    idleTimeout = std::chrono::milliseconds(CurlRequestSetup::timeoutMs(request));
    // The first figures follow one interval after the start: a small file is done before then
    // and reports once, at its end.
    lastProgressPost = Clock::now();
    return {};
}

size_t CurlDownloadJob::onHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<CurlDownloadJob*>(user);
    self->lastData = Clock::now();
    std::string_view line(data, size * count);
    // Each answer (a redirect, the final one) starts with its status line.
    if (line.starts_with("HTTP/")) {
        self->etag.clear();
        self->lastModified.clear();
        self->contentRange.clear();
    } else if (auto value = headerValue(line, "etag")) {
        self->etag = *value;
    } else if (auto value = headerValue(line, "last-modified")) {
        self->lastModified = *value;
    } else if (auto value = headerValue(line, "content-range")) {
        self->contentRange = *value;
    }
    return size * count;
}

size_t CurlDownloadJob::onData(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<CurlDownloadJob*>(user);
    size_t bytes = size * count;
    self->lastData = Clock::now();
    if (!self->statusChecked && !self->acceptAnswer())
        return bytes == 0 ? 1 : 0; // the body of a refused answer is not wanted; stop reading it
    if (self->isCancelled())
        return bytes == 0 ? 1 : 0;
    self->pending.append(data, bytes);
    if (self->pending.size() >= kWriteChunkBytes && !self->flush())
        return bytes == 0 ? 1 : 0;
    self->written += static_cast<int64_t>(bytes);
    self->reportProgress();
    return bytes;
}

bool CurlDownloadJob::acceptAnswer() {
    statusChecked = true;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (status == 206 || (status == 416 && resumeFrom > 0)) {
        if (status == 206 && acceptRange(length))
            return true;
        rangeRefused = true;
        resumable = false;
        return false;
    }
    if (status < 200 || status > 299) {
        rejected = true;
        return false;
    }
    // A part of the file under another status is no whole body either.
    if (!contentRange.empty() && resumeFrom > 0) {
        rangeRefused = true;
        resumable = false;
        return false;
    }
    // The whole body: a server that does not continue, or not this file, sends it from the start.
    if (resumeFrom > 0 && !startFromZero())
        return false;
    expected = length >= 0 ? static_cast<int64_t>(length) : -1;
    pending.reserve(std::min(expected > 0 ? static_cast<size_t>(expected) : kWriteChunkBytes,
                             kWriteChunkBytes));
    // A small body is not worth a description: cut short, it is simply fetched again.
    if (request.resumeFile.empty() || (expected >= 0 && expected < kSmallestKept))
        return true;
    // Only a strong ETag names these very bytes; a weak one may stand for another encoding.
    validator = !etag.empty() && !etag.starts_with("W/") ? etag : lastModified;
    started = std::chrono::system_clock::now();
    described = resumable =
        !validator.empty() && PartialDownload{request.url, request.resumeTag, validator, started}
                                  .write(request.resumeFile)
                                  .isOk();
    return true;
}

// A 206 continues the bytes kept only when it starts where they end and runs to the end.
bool CurlDownloadJob::acceptRange(int64_t contentLength) {
    std::optional<ContentRange> range = parseContentRange(contentRange);
    if (resumeFrom == 0 || !range || range->first != resumeFrom ||
        (range->total >= 0 && range->last + 1 != range->total) ||
        (contentLength >= 0 && contentLength != range->last + 1 - range->first))
        return false;
    expected = range->last + 1;
    resumable = true;
    return true;
}

// Drops the bytes kept: the description first, so that no description ever names other bytes.
bool CurlDownloadJob::startFromZero() {
    if (std::exchange(described, false))
        ::unlink(PartialDownload::infoPath(request.resumeFile).c_str());
    resumable = false;
    resumeFrom = 0;
    written = 0;
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) < 0) {
        writeError = std::strerror(errno);
        return false;
    }
    return true;
}

// Writes what was received so far to the temporary file.
bool CurlDownloadJob::flush() {
    size_t done = 0;
    while (done < pending.size()) {
        ssize_t n = ::write(fd, pending.data() + done, pending.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            writeError = n < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    pending.clear();
    return true;
}

void CurlDownloadJob::reportProgress() {
    reportedWritten = written;
    reportedExpected = expected;
    auto now = Clock::now();
    if (now - lastProgressPost < kProgressInterval)
        return;
    if (progressPending.exchange(true))
        return; // the main thread has not taken the previous figures yet
    lastProgressPost = now;
    mainThread.post([self = shared_from_this()] {
        self->progressPending = false;
        self->deliverProgress();
    });
}

// Main thread: whether anything may still be delivered. A transfer whose receiver has gone is not
// wanted any more and stops.
bool CurlDownloadJob::receiverAlive() {
    if (!delivering)
        return false;
    if (!receiver.context.expired())
        return true;
    delivering = false;
    cancel();
    return false;
}

void CurlDownloadJob::deliverProgress() {
    if (!receiverAlive() || !receiver.progress)
        return;
    int64_t nowWritten = reportedWritten;
    int64_t nowExpected = reportedExpected;
    if (nowWritten == 0 || (nowWritten == deliveredWritten && nowExpected == deliveredExpected))
        return;
    deliveredWritten = nowWritten;
    deliveredExpected = nowExpected;
    receiver.progress(nowWritten, nowExpected);
}

std::string CurlDownloadJob::outcome(int curlResult, const std::string& engineError,
                                     long code) const {
    if (!engineError.empty())
        return engineError;
    if (isCancelled() && curlResult != CURLE_OK)
        return "cancelled";
    if (rangeRefused)
        return "HTTP " + std::to_string(code) + ": not the range asked for";
    if (rejected || (curlResult == CURLE_OK && (code < 200 || code > 299)))
        return "HTTP " + std::to_string(code);
    if (!writeError.empty())
        return "Cannot write " + temporaryFile + ": " + writeError;
    if (curlResult != CURLE_OK)
        return setup.describe(curlResult);
    return {};
}

void CurlDownloadJob::keepOrDropPartial(bool keep) {
    // What came is written out and put on the disk, so that a power cut before the next run
    // cannot leave a gap in the bytes that would be continued.
    keep = keep && flush() && File::flushToDisk(fd).isOk();
    if (!keep)
        PartialDownload::remove(temporaryFile);
}

void CurlDownloadJob::startAgainWhole() {
    ::close(fd);
    fd = -1;
    PartialDownload::remove(temporaryFile);
    startedAgain = true;
    statusChecked = rejected = rangeRefused = resumable = described = false;
    pending.clear();
    written = 0;
    expected = -1;
    engine.submit(shared_from_this());
}

void CurlDownloadJob::end(CURL* handle, int curlResult, const std::string& engineError) {
    long code = 0;
    if (handle != nullptr)
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    // An answer without a body never reached onData.
    if (!statusChecked && handle != nullptr && curlResult == CURLE_OK && engineError.empty())
        acceptAnswer();
    easy = nullptr;
    if (rangeRefused && engineError.empty() && !startedAgain && delivering && !isCancelled()) {
        startAgainWhole();
        return;
    }
    ended = true;
    std::optional<int> status;
    if (code > 0)
        status = static_cast<int>(code);
    std::string error = outcome(curlResult, engineError, code);
    if (error.empty() && !flush())
        error = "Cannot write " + temporaryFile + ": " + writeError;
    // Read once: the main thread may clear it meanwhile, and a file kept for a result that is
    // then not posted would stay behind.
    const bool deliver = delivering;
    const bool whole = error.empty() && deliver;
    const bool resuming = !request.resumeFile.empty() && fd >= 0;
    if (resuming && whole) {
        if (described)
            ::unlink(PartialDownload::infoPath(temporaryFile).c_str());
    } else if (resuming) {
        keepOrDropPartial(!error.empty() && resumable && writeError.empty() && written > 0);
    }
    if (fd >= 0) {
        if (::close(fd) != 0 && error.empty())
            error = "Cannot write " + temporaryFile + ": " + std::strerror(errno);
        fd = -1;
    }
    if (!error.empty() || !deliver) {
        if (!resuming && !temporaryFile.empty())
            ::unlink(temporaryFile.c_str());
        temporaryFile.clear();
    }
    if (deliver) {
        reportedWritten = written;
        reportedExpected = expected;
        TransferResult result{status, error, temporaryFile};
        result.resumedFrom = error.empty() ? resumeFrom : 0;
        mainThread.post([self = shared_from_this(), result = std::move(result)] {
            self->deliverProgress();
            if (self->receiverAlive() && self->receiver.completed)
                self->receiver.completed(result);
            if (!result.file.empty())
                ::unlink(result.file.c_str()); // whatever the receiver did not move away
        });
    }
    handOver(error.empty() && deliver);
}

void CurlDownloadJob::stopDelivering() {
    std::lock_guard lock(followMutex);
    delivering = false;
}

void CurlDownloadJob::follow(std::shared_ptr<CurlDownloadJob> next) {
    bool whole = false;
    {
        std::lock_guard lock(followMutex);
        if (!handedOver) {
            follower = std::move(next);
            return;
        }
        whole = endedWhole;
    }
    next->startAfter(whole);
}

void CurlDownloadJob::handOver(bool whole) {
    std::shared_ptr<CurlDownloadJob> next;
    {
        std::lock_guard lock(followMutex);
        handedOver = true;
        endedWhole = whole;
        next = std::move(follower);
    }
    if (next)
        next->startAfter(whole);
}

// Straight from the end of the job before, on the engine's thread: the connection does not wait
// for the main thread to ask for the next file.
void CurlDownloadJob::startAfter(bool previousWhole) {
    bool go = false;
    {
        std::lock_guard lock(followMutex);
        go = previousWhole && delivering && !isCancelled() && (!mayStart || mayStart());
    }
    if (go)
        engine.submit(shared_from_this());
    else
        end(nullptr, CURLE_ABORTED_BY_CALLBACK, "cancelled");
}

} // namespace dravik
