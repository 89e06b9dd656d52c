#pragma once

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
};

// What a finished exchange delivered. A transport failure has no status and a non-empty error;
// an answered request has a status (and a body, which may be empty).
struct HttpResponse {
    std::optional<int> status;
    std::optional<std::string> body; // absent when the server sent no body
    std::string error;               // transport error description, empty when none

    bool answered() const { return status.has_value(); }
};

// Callbacks of one download transfer, all delivered on the main thread, in this order: any number
// of progress calls, then finished (only when a body was received and stored), then completed.
struct TransferCallbacks {
    // Bytes written so far and bytes expected in total; expected is -1 when the size is unknown.
    std::function<void(int64_t written, int64_t expected)> progress;
    // The temporary file that holds the whole body; the receiver moves it into place. A file left
    // there after the call is removed.
    std::function<void(const std::string& temporaryFile)> finished;
    // Empty error on success. A status outside 200-299 is an error ("HTTP 404").
    std::function<void(const std::string& error, std::optional<int> status)> completed;
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

    // Blocks the calling thread (never the main thread) until the exchange has ended.
    virtual HttpResponse request(const HttpRequest& request) = 0;
    // Starts a download that streams the body to a temporary file in temporaryFolder.
    virtual std::unique_ptr<Transfer> download(const HttpRequest& request,
                                               const std::string& temporaryFolder,
                                               TransferCallbacks callbacks) = 0;
};

} // namespace dravik
