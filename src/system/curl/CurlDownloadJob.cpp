#include "system/curl/CurlDownloadJob.h"

#include "platform/MainThread.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
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

} // namespace

std::string CurlDownloadJob::start(CURL* handle) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::string pattern = folder + "/.download-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return "Cannot create a temporary file in " + folder + ": " + std::strerror(errno);
    temporaryFile = name.data();

    easy = handle;
    if (std::string error = setup.apply(easy, request, false); !error.empty())
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

size_t CurlDownloadJob::onHeader(char*, size_t size, size_t count, void* user) {
    static_cast<CurlDownloadJob*>(user)->lastData = Clock::now();
    return size * count;
}

size_t CurlDownloadJob::onData(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<CurlDownloadJob*>(user);
    size_t bytes = size * count;
    self->lastData = Clock::now();
    if (!self->statusChecked) {
        self->statusChecked = true;
        long status = 0;
        curl_easy_getinfo(self->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299) {
            // The body of a refused request is not wanted; stop reading it.
            self->rejected = true;
            return bytes == 0 ? 1 : 0;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(self->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        self->expected = length >= 0 ? static_cast<int64_t>(length) : -1;
        size_t first = self->expected > 0 ? static_cast<size_t>(self->expected) : bytes;
        self->pending.reserve(std::min(first, kWriteChunkBytes));
    }
    if (self->isCancelled())
        return bytes == 0 ? 1 : 0;
    self->pending.append(data, bytes);
    if (self->pending.size() >= kWriteChunkBytes && !self->flush())
        return bytes == 0 ? 1 : 0;
    self->written += static_cast<int64_t>(bytes);
    self->reportProgress();
    return bytes;
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
    if (rejected || (curlResult == CURLE_OK && (code < 200 || code > 299)))
        return "HTTP " + std::to_string(code);
    if (!writeError.empty())
        return "Cannot write " + temporaryFile + ": " + writeError;
    if (curlResult != CURLE_OK)
        return setup.describe(curlResult);
    return {};
}

void CurlDownloadJob::end(CURL* handle, int curlResult, const std::string& engineError) {
    long code = 0;
    if (handle != nullptr)
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    easy = nullptr;
    std::optional<int> status;
    if (code > 0)
        status = static_cast<int>(code);
    std::string error = outcome(curlResult, engineError, code);
    if (error.empty() && !flush())
        error = "Cannot write " + temporaryFile + ": " + writeError;
    if (fd >= 0) {
        if (::close(fd) != 0 && error.empty())
            error = "Cannot write " + temporaryFile + ": " + std::strerror(errno);
        fd = -1;
    }
    // Read once: the main thread may clear it meanwhile, and a file kept for a result that is
    // then not posted would stay behind.
    const bool deliver = delivering;
    if ((!error.empty() || !deliver) && !temporaryFile.empty()) {
        ::unlink(temporaryFile.c_str());
        temporaryFile.clear();
    }
    if (!deliver)
        return;
    reportedWritten = written;
    reportedExpected = expected;
    mainThread.post(
        [self = shared_from_this(), result = TransferResult{status, error, temporaryFile}] {
            self->deliverProgress();
            if (self->receiverAlive() && self->receiver.completed)
                self->receiver.completed(result);
            if (!result.file.empty())
                ::unlink(result.file.c_str()); // whatever the receiver did not move away
        });
}

} // namespace dravik
