#pragma once

#include "base/Expected.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dravik {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::chrono::milliseconds timeout{60000};
    // Downloads only. A body cut short stays in this file with its description beside it
    // (PartialDownload), and the next download of the same url and tag continues it with a range
    // request; the body then ends up in this file. Empty: a body cut short is dropped.
    std::string resumeFile;
    std::string resumeTag;
};

// What an answered request delivered.
struct HttpResponse {
    int status = 0;
    std::optional<std::string> body; // absent when the server sent no body
};

// How a download ended.
struct TransferResult {
    std::optional<int> status; // the answer's HTTP status, absent when none came
    std::string error;         // empty on success; a status outside 200-299 is one ("HTTP 404")
    // Success only: the temporary file that holds the whole body. The receiver moves it into
    // place while it handles the result; a file left there afterwards is removed.
    std::string file;
    // The bytes of a partial download the body continued; 0 when it came whole.
    int64_t resumedFrom = 0;

    bool succeeded() const { return error.empty(); }
};

// Where one download reports, on the main thread: any number of progress calls, then completed
// once. Nothing reaches the receiver once its context has expired or the Transfer is destroyed,
// so a receiver that goes away first is never called.
struct TransferReceiver {
    std::weak_ptr<const void> context;
    // Bytes written so far and bytes expected in total; expected is -1 when the size is unknown.
    std::function<void(int64_t written, int64_t expected)> progress;
    std::function<void(const TransferResult& result)> completed;

    // The receiver's own member functions, called only while context lives.
    template <typename Receiver>
    static TransferReceiver bind(Receiver* receiver, std::weak_ptr<const void> context,
                                 void (Receiver::*onProgress)(int64_t, int64_t),
                                 void (Receiver::*onCompleted)(const TransferResult&)) {
        return {std::move(context),
                [receiver, onProgress](int64_t written, int64_t expected) {
                    (receiver->*onProgress)(written, expected);
                },
                [receiver, onCompleted](const TransferResult& result) {
                    (receiver->*onCompleted)(result);
                }};
    }
};

class Transfer {
public:
    virtual ~Transfer() = default;
    // Stops the transfer; completed is then delivered with an error.
    virtual void cancel() = 0;
};

// HTTPS client. Nothing is cached and no cookies or credentials are kept between requests.
class Http {
public:
    virtual ~Http() = default;

    // Blocks the calling thread (never the main thread) until the exchange has ended. Any answer
    // is a response, whatever its status; the error is why none came.
    virtual Expected<HttpResponse> request(const HttpRequest& request) = 0;
    // Starts a download that streams the body to a temporary file in temporaryFolder, or to the
    // request's resumeFile.
    virtual std::unique_ptr<Transfer> download(const HttpRequest& request,
                                               const std::string& temporaryFolder,
                                               TransferReceiver receiver) = 0;
    // Like download, but the exchange waits for previous (a download of this client) to end
    // with its whole body and then starts at once, without a trip through the caller, if
    // mayStart() still allows it. Otherwise it ends "cancelled" without a request. mayStart is
    // asked on another thread, never once the returned Transfer is gone. A client that cannot
    // hold a download back returns null; the caller then starts it itself, later.
    virtual std::unique_ptr<Transfer> downloadAfter(Transfer& previous, const HttpRequest& request,
                                                    const std::string& temporaryFolder,
                                                    TransferReceiver receiver,
                                                    std::function<bool()> mayStart) {
        (void)previous, (void)request, (void)temporaryFolder, (void)receiver, (void)mayStart;
        return nullptr;
    }
};

} // namespace dravik
