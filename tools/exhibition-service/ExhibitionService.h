#pragma once

// A stand-in for the exhibition service: a real HTTPS server on the loopback interface that answers
// the launcher's requests from a data folder, with switches that make it misbehave on purpose.
//
//   ExhibitionService service({dataFolder, certFile, keyFile});
//   if (std::string error = service.start(0); !error.empty()) ...   // 0 picks a free port
//   service.baseUrl();                                             // "https://127.0.0.1:<port>"
//   service.setFault("/files/1/10/lobby.png", {.cutBody = true});
//   service.setRandomFaults({.seed = 7, .pathPrefixes = {"/files/"}});   // faults at random
//   service.requests();                                            // what was asked so far
//
// The data folder holds service.json (exhibitions, invitation codes, registered e-mail addresses,
// the release folder), halls/exhibition<E>_hall<H>.json, files/ (served under /files/), the release
// folder (served without a token) and QA.html. In the hall records and the version record, the text
// {{base}} stands for the server's own address.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace dravik::substitute {

struct ServiceOptions {
    std::string dataFolder;
    std::string certificateFile; // PEM, the server's certificate (chain)
    std::string keyFile;         // PEM, its private key
    std::string host = "127.0.0.1";
    // Overrides the release folder of service.json (a folder on disk, served under releasePath).
    std::string releaseFolder;
    // Prints the method and target of every request on standard error.
    bool echoRequests = false;
};

// A deliberate misbehaviour for one path (without the query).
struct Fault {
    // Answer with this status and body (no body when absent) instead of the real reply.
    std::optional<int> status;
    std::optional<std::string> body;
    // Wait this long before answering.
    std::chrono::milliseconds delay{0};
    // Announce the whole length, send half of the body, then close the connection.
    bool cutBody = false;
    // Close the connection without any answer.
    bool dropConnection = false;
    // Send the body without Content-Length (chunked).
    bool noContentLength = false;
    // Pause this long before each piece (64 KiB) of the body.
    std::chrono::milliseconds pacing{0};
    // Answer with a redirect to this address (status 302 unless a status is given).
    std::optional<std::string> location;
    // Files: give this ETag instead of the file's own (as if the file had changed).
    std::optional<std::string> validator;
    // Files: answer a range request with the whole file (200).
    bool ignoreRanges = false;
    // Files: answer a range request with the range that starts one byte later (206).
    bool wrongRange = false;
};

// Faults drawn at random, once for every request whose path begins with one of the prefixes (a
// fault set for the exact path with setFault wins). The same seed and the same order of requests
// give the same faults.
struct RandomFaults {
    uint64_t seed = 1;
    // Chance that a request gets a fault; each kind below is then equally likely.
    double probability = 0.25;
    std::vector<std::string> pathPrefixes; // empty: every path
    // A delay lasts up to this long, then the real answer follows.
    std::chrono::milliseconds maxDelay{300};
};

enum class FaultKind { DropConnection, CutBody, ServerError, Delay, NoContentLength };
const char* faultKindName(FaultKind kind);

struct InjectedFault {
    std::string path;
    FaultKind kind;
};

struct LoggedRequest {
    std::string method;
    std::string target; // path and query as received, still percent-encoded
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first value of a header (names compared without regard to case), empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
};

class ExhibitionService {
public:
    explicit ExhibitionService(ServiceOptions options);
    ~ExhibitionService();
    ExhibitionService(const ExhibitionService&) = delete;
    ExhibitionService& operator=(const ExhibitionService&) = delete;

    // Loads the data folder and starts listening; port 0 picks a free port. Empty text on success,
    // otherwise what went wrong.
    std::string start(int port = 0);
    // Stops listening and waits for the connections in progress. The port stays known.
    void stop();
    bool isRunning() const;
    int port() const;
    std::string baseUrl() const;

    // Fault switches; they may be changed while the server runs.
    void setFault(const std::string& path, Fault fault);
    void clearFault(const std::string& path);
    void clearFaults();
    // Random faults from now on (replacing any earlier setting), and what they did so far.
    void setRandomFaults(RandomFaults faults);
    void clearRandomFaults();
    std::vector<InjectedFault> injectedFaults() const;

    std::vector<LoggedRequest> requests() const;
    void clearRequests();

    // A token that the server accepts, as a sign-in would return it.
    std::string issueToken();

    // The account the sign-in request must name.
    static const std::string& signInBody();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace dravik::substitute
