#include "ExhibitionService.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <httplib.h>
#include <iostream>
#include <mutex>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <openssl/rand.h>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace dravik::substitute {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

const std::string kApi = "/exhibition/api/v1/";
const char* const kJson = "application/json";
const char* const kBinary = "application/octet-stream";
constexpr size_t kChunk = 64 * 1024;

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string errorBody(const std::string& code, const std::string& message) {
    return json{{"error", {{"code", code}, {"message", message}}}}.dump();
}

bool readText(const fs::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A name below a served folder: relative, without "..", not empty.
bool isInside(const std::string& relative) {
    if (relative.empty() || relative.front() == '/' || relative.find('\0') != std::string::npos)
        return false;
    for (const auto& part : fs::path(relative)) {
        if (part == "..")
            return false;
    }
    return true;
}

int portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

// The server library does not hand out the connection's socket; find it by its two ports and shut
// it down, so that the client sees the connection end without an answer.
void dropConnection(const httplib::Request& request) {
    long limit = std::min<long>(sysconf(_SC_OPEN_MAX), 65536);
    for (int fd = 0; fd < limit; ++fd) {
        sockaddr_storage peer{};
        sockaddr_storage local{};
        socklen_t peerLength = sizeof(peer);
        socklen_t localLength = sizeof(local);
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
            continue;
        if (portOf(peer) == request.remote_port && portOf(local) == request.local_port)
            ::shutdown(fd, SHUT_RDWR);
    }
}

// Bytes to send: from memory or streamed from a file.
class Source {
public:
    static std::shared_ptr<Source> text(std::string bytes) {
        auto source = std::make_shared<Source>();
        source->m_bytes = std::move(bytes);
        source->m_size = source->m_bytes.size();
        return source;
    }
    static std::shared_ptr<Source> file(const fs::path& path) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        auto source = std::make_shared<Source>();
        source->m_fd = fd;
        std::error_code error;
        source->m_size = static_cast<size_t>(fs::file_size(path, error));
        return error ? nullptr : source;
    }
    ~Source() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    size_t size() const { return m_size; }
    // Sends up to length bytes from offset; false when nothing could be sent.
    bool send(size_t offset, size_t length, httplib::DataSink& sink) const {
        length = std::min({length, kChunk, m_size - std::min(offset, m_size)});
        if (length == 0)
            return false;
        if (m_fd < 0)
            return sink.write(m_bytes.data() + offset, length);
        char buffer[kChunk];
        ssize_t n = 0;
        do {
            n = ::pread(m_fd, buffer, length, static_cast<off_t>(offset));
        } while (n < 0 && errno == EINTR);
        return n > 0 && sink.write(buffer, static_cast<size_t>(n));
    }

private:
    std::string m_bytes;
    int m_fd = -1;
    size_t m_size = 0;
};

struct Reply {
    int status = 200;
    std::string contentType = kJson;
    std::shared_ptr<Source> source; // none: no body
    std::string validator;          // a file's ETag: its modification time and size

    static Reply document(int status, std::string body) {
        return Reply{status, kJson, Source::text(std::move(body)), {}};
    }
    static Reply error(int status, const std::string& code, const std::string& message) {
        return document(status, errorBody(code, message));
    }
};

} // namespace

std::string LoggedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name))
            return value;
    }
    return {};
}

bool LoggedRequest::hasHeader(const std::string& name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& entry) { return equalsIgnoringCase(entry.first, name); });
}

struct ExhibitionService::Impl {
    explicit Impl(ServiceOptions options) : options(std::move(options)) {}

    ServiceOptions options;

    // Loaded by start(); read-only while the server runs.
    fs::path dataFolder;
    json exhibitions = json::array();
    std::map<std::string, json> invitations;
    std::set<std::string> emails;
    std::string releasePath = "/release";
    fs::path releaseFolder;

    std::unique_ptr<httplib::SSLServer> server;
    std::thread listener;
    std::atomic<bool> stopping{false};
    std::atomic<int> port{0};

    mutable std::mutex mutex;
    std::map<std::string, Fault> faults;
    std::optional<RandomFaults> randomFaults;
    std::mt19937_64 random;
    std::vector<InjectedFault> injected;
    std::vector<LoggedRequest> log;
    std::set<std::string> tokens;

    std::string load();
    std::string baseUrl() const {
        return "https://" + options.host + ":" + std::to_string(port.load());
    }
    std::string newToken();

    void handle(const httplib::Request& request, httplib::Response& response);
    Reply route(const httplib::Request& request);
    Reply signIn(const httplib::Request& request);
    Reply verifyInvitation(const httplib::Request& request) const;
    Reply searchVisitor(const httplib::Request& request) const;
    Reply hall(const std::string& exhibition, const std::string& hall) const;
    Reply file(const fs::path& folder, const std::string& relative, const char* type,
               bool withBase) const;
    bool authorized(const httplib::Request& request) const;
    void send(const Reply& reply, const Fault& fault, httplib::Response& response) const;
    void sendPart(const Reply& reply, size_t first, ssize_t last,
                  httplib::Response& response) const;
    void wait(std::chrono::milliseconds delay) const;
    // Under the mutex: the random fault for this path, if one is drawn.
    std::optional<Fault> drawFault(const std::string& path);
};

std::optional<Fault> ExhibitionService::Impl::drawFault(const std::string& path) {
    if (!randomFaults)
        return std::nullopt;
    const auto& prefixes = randomFaults->pathPrefixes;
    if (!prefixes.empty() &&
        std::none_of(prefixes.begin(), prefixes.end(), [&](const std::string& prefix) {
            return path.compare(0, prefix.size(), prefix) == 0;
        }))
        return std::nullopt;
    if (std::uniform_real_distribution<double>(0.0, 1.0)(random) >= randomFaults->probability)
        return std::nullopt;
    auto kind = static_cast<FaultKind>(std::uniform_int_distribution<int>(0, 4)(random));
    Fault fault;
    switch (kind) {
    case FaultKind::DropConnection:
        fault.dropConnection = true;
        break;
    case FaultKind::CutBody:
        fault.cutBody = true;
        break;
    case FaultKind::ServerError:
        fault.status = 500;
        fault.body = errorBody("INTERNAL", "injected fault");
        break;
    case FaultKind::Delay:
        fault.delay = std::chrono::milliseconds(std::uniform_int_distribution<int64_t>(
            1, std::max<int64_t>(1, randomFaults->maxDelay.count()))(random));
        break;
    case FaultKind::NoContentLength:
        fault.noContentLength = true;
        break;
    }
    injected.push_back({path, kind});
    return fault;
}

std::string ExhibitionService::Impl::load() {
    dataFolder = options.dataFolder;
    std::string text;
    if (!readText(dataFolder / "service.json", text))
        return "cannot read " + (dataFolder / "service.json").string();
    json data = json::parse(text, nullptr, false);
    if (data.is_discarded() || !data.is_object())
        return (dataFolder / "service.json").string() + " is not a JSON object";
    exhibitions = data.value("exhibitions", json::array());
    invitations.clear();
    const json codes = data.value("invitations", json::object());
    for (const auto& [code, entry] : codes.items())
        invitations[code] = entry;
    emails.clear();
    const json addresses = data.value("emails", json::array());
    for (const auto& address : addresses) {
        if (address.is_string())
            emails.insert(address.get<std::string>());
    }
    releasePath = data.value("releasePath", std::string("/release"));
    while (!releasePath.empty() && releasePath.back() == '/')
        releasePath.pop_back();
    releaseFolder = options.releaseFolder.empty()
                        ? dataFolder / data.value("releaseFolder", std::string("release"))
                        : fs::path(options.releaseFolder);
    return {};
}

std::string ExhibitionService::Impl::newToken() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof(bytes)) != 1) {
        for (auto& byte : bytes)
            byte = static_cast<unsigned char>(std::rand());
    }
    static const char* const digits = "0123456789abcdef";
    std::string token;
    for (unsigned char byte : bytes) {
        token.push_back(digits[byte >> 4]);
        token.push_back(digits[byte & 15]);
    }
    std::lock_guard lock(mutex);
    tokens.insert(token);
    return token;
}

bool ExhibitionService::Impl::authorized(const httplib::Request& request) const {
    const std::string value = request.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    if (value.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::lock_guard lock(mutex);
    return tokens.count(value.substr(prefix.size())) > 0;
}

void ExhibitionService::Impl::wait(std::chrono::milliseconds delay) const {
    auto until = std::chrono::steady_clock::now() + delay;
    while (!stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void ExhibitionService::Impl::handle(const httplib::Request& request, httplib::Response& response) {
    Fault fault;
    {
        std::lock_guard lock(mutex);
        LoggedRequest entry{request.method, request.target, {}, request.body};
        for (const auto& [name, value] : request.headers)
            entry.headers.emplace_back(name, value);
        log.push_back(std::move(entry));
        if (auto it = faults.find(request.path); it != faults.end())
            fault = it->second;
        else if (auto drawn = drawFault(request.path))
            fault = *drawn;
    }
    if (options.echoRequests)
        std::cerr << request.method << " " << request.target << std::endl;
    if (fault.delay.count() > 0)
        wait(fault.delay);
    if (fault.dropConnection) {
        dropConnection(request);
        response.status = 500;
        return;
    }
    if (fault.location) {
        response.status = fault.status.value_or(302);
        response.set_header("Location", *fault.location);
        return;
    }
    Reply reply;
    if (fault.status) {
        reply.status = *fault.status;
        if (fault.body)
            reply.source = Source::text(*fault.body);
    } else {
        reply = route(request);
    }
    if (!reply.validator.empty() && reply.status == 200) {
        std::string validator = fault.validator.value_or(reply.validator);
        response.set_header("ETag", validator);
        // The service answers a range itself, as a file server does: only while If-Range names
        // the file, and never by the library, which would keep the status 200 for a part.
        auto& ranges = const_cast<httplib::Ranges&>(request.ranges);
        std::string ifRange = request.get_header_value("If-Range");
        bool wanted = ranges.size() == 1 && ranges.front().first >= 0 && !fault.ignoreRanges &&
                      (ifRange.empty() || ifRange == validator);
        auto [first, last] = wanted ? ranges.front() : std::pair<ssize_t, ssize_t>(0, -1);
        ranges.clear();
        if (wanted) {
            sendPart(reply, static_cast<size_t>(first) + (fault.wrongRange ? 1 : 0), last,
                     response);
            return;
        }
    }
    send(reply, fault, response);
}

// A 206 with the bytes from first to last (-1: to the end), a 416 when first is past the end.
void ExhibitionService::Impl::sendPart(const Reply& reply, size_t first, ssize_t last,
                                       httplib::Response& response) const {
    auto source = reply.source;
    const size_t size = source->size();
    if (first >= size) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    size_t end = last < 0 ? size : std::min(size, static_cast<size_t>(last) + 1);
    response.status = 206;
    response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                             std::to_string(end - 1) + "/" + std::to_string(size));
    response.set_content_provider(
        end - first, reply.contentType,
        [source, first](size_t at, size_t length, httplib::DataSink& sink) {
            return source->send(first + at, length, sink);
        });
}

Reply ExhibitionService::Impl::route(const httplib::Request& request) {
    const std::string& path = request.path;
    if (request.method == "POST" && path == kApi + "auth")
        return signIn(request);
    if (request.method != "GET")
        return Reply::error(404, "NOT_FOUND", "no such resource");
    if (path == "/QA.html")
        return file(dataFolder, "QA.html", "text/html; charset=utf-8", false);
    if (path.compare(0, releasePath.size() + 1, releasePath + "/") == 0) {
        std::string name = path.substr(releasePath.size() + 1);
        bool isRecord = name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0;
        return file(releaseFolder, name, isRecord ? kJson : kBinary, isRecord);
    }
    if (!authorized(request))
        return Reply::error(401, "AUTH", "a valid bearer token is required");
    if (path == kApi + "invites/verify")
        return verifyInvitation(request);
    if (path == kApi + "visitors/search")
        return searchVisitor(request);
    static const std::regex hallPath(R"(/exhibition/api/v1/exhibitions/(\d+)/halls/(\d+)/?)");
    std::smatch match;
    if (std::regex_match(path, match, hallPath))
        return hall(match[1], match[2]);
    if (path.compare(0, 7, "/files/") == 0)
        return file(dataFolder / "files", path.substr(7), kBinary, false);
    return Reply::error(404, "NOT_FOUND", "no such resource");
}

Reply ExhibitionService::Impl::signIn(const httplib::Request& request) {
    if (request.body != signInBody())
        return Reply::error(401, "AUTH", "unknown account or wrong password");
    json body;
    body["exhibitions"] = exhibitions;
    body["token"] = newToken();
    return Reply::document(200, body.dump());
}

Reply ExhibitionService::Impl::verifyInvitation(const httplib::Request& request) const {
    if (!request.has_param("code"))
        return Reply::error(400, "BAD_REQUEST", "code is missing");
    json body;
    auto it = invitations.find(request.get_param_value("code"));
    if (it == invitations.end()) {
        body = {
            {"result", false}, {"errorMessage", "招待コードが見つかりません"}, {"errorCode", 1406}};
        return Reply::document(200, body.dump());
    }
    const json& entry = it->second;
    int64_t errorCode = entry.value("errorCode", int64_t{0});
    body["result"] = errorCode == 0;
    body["errorMessage"] = entry.value("errorMessage", std::string());
    body["errorCode"] = errorCode;
    for (const char* member : {"exhibition_id", "hall_id"}) {
        if (entry.contains(member))
            body[member] = entry[member];
    }
    return Reply::document(200, body.dump());
}

Reply ExhibitionService::Impl::searchVisitor(const httplib::Request& request) const {
    if (!request.has_param("email"))
        return Reply::error(400, "BAD_REQUEST", "email is missing");
    // The library hands over the percent-decoded value.
    bool registered = emails.count(request.get_param_value("email")) > 0;
    return Reply::document(200, json{{"result", registered}}.dump());
}

Reply ExhibitionService::Impl::hall(const std::string& exhibition, const std::string& hall) const {
    std::string name = "exhibition" + exhibition + "_hall" + hall + ".json";
    std::string text;
    if (!readText(dataFolder / "halls" / name, text))
        return Reply::error(404, "NOT_FOUND", "no such hall");
    replaceAll(text, "{{base}}", baseUrl());
    return Reply::document(200, std::move(text));
}

Reply ExhibitionService::Impl::file(const fs::path& folder, const std::string& relative,
                                    const char* type, bool withBase) const {
    std::error_code error;
    fs::path path = folder / relative;
    if (!isInside(relative) || !fs::is_regular_file(path, error))
        return Reply::error(404, "NOT_FOUND", "no such file");
    if (withBase) {
        std::string text;
        if (!readText(path, text))
            return Reply::error(500, "READ", "cannot read the file");
        replaceAll(text, "{{base}}", baseUrl());
        return Reply{200, type, Source::text(std::move(text)), {}};
    }
    auto source = Source::file(path);
    if (!source)
        return Reply::error(500, "READ", "cannot read the file");
    auto modified = fs::last_write_time(path, error).time_since_epoch();
    char validator[64];
    std::snprintf(validator, sizeof validator, "\"%llx-%zx\"",
                  static_cast<unsigned long long>(
                      std::chrono::duration_cast<std::chrono::nanoseconds>(modified).count()),
                  source->size());
    return Reply{200, type, std::move(source), validator};
}

void ExhibitionService::Impl::send(const Reply& reply, const Fault& fault,
                                   httplib::Response& response) const {
    response.status = reply.status;
    if (!reply.source)
        return;
    auto pace = [this, pacing = fault.pacing] {
        if (pacing.count() > 0)
            wait(pacing);
        return !stopping;
    };
    auto source = reply.source;
    if (fault.cutBody) {
        size_t cut = source->size() / 2;
        response.set_content_provider(
            source->size(), reply.contentType,
            [source, cut, pace](size_t offset, size_t length, httplib::DataSink& sink) {
                return offset < cut && pace() &&
                       source->send(offset, std::min(length, cut - offset), sink);
            });
    } else if (fault.noContentLength) {
        response.set_chunked_content_provider(
            reply.contentType, [source, pace](size_t offset, httplib::DataSink& sink) {
                if (offset >= source->size()) {
                    sink.done();
                    return true;
                }
                return pace() && source->send(offset, source->size() - offset, sink);
            });
    } else if (source->size() == 0) {
        response.set_content("", reply.contentType);
    } else {
        response.set_content_provider(
            source->size(), reply.contentType,
            [source, pace](size_t offset, size_t length, httplib::DataSink& sink) {
                return pace() && source->send(offset, length, sink);
            });
    }
}

ExhibitionService::ExhibitionService(ServiceOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {}

ExhibitionService::~ExhibitionService() {
    stop();
}

std::string ExhibitionService::start(int port) {
    Impl& impl = *m_impl;
    if (impl.server)
        return "already running";
    if (std::string error = impl.load(); !error.empty())
        return error;
    // A client that goes away mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    auto server = std::make_unique<httplib::SSLServer>(impl.options.certificateFile.c_str(),
                                                       impl.options.keyFile.c_str());
    if (!server->is_valid())
        return "cannot use the certificate " + impl.options.certificateFile + " and key " +
               impl.options.keyFile;
    auto handler = [&impl](const httplib::Request& request, httplib::Response& response) {
        impl.handle(request, response);
    };
    server->Get(".*", handler);
    server->Post(".*", handler);
    server->set_keep_alive_timeout(1);

    int bound = port;
    if (port == 0)
        bound = server->bind_to_any_port(impl.options.host);
    else if (!server->bind_to_port(impl.options.host, port))
        bound = -1;
    if (bound <= 0)
        return "cannot listen on " + impl.options.host + ":" + std::to_string(port) + ": " +
               std::strerror(errno);
    impl.port = bound;
    impl.stopping = false;
    impl.server = std::move(server);
    impl.listener = std::thread([&impl] { impl.server->listen_after_bind(); });
    // stop() only works on a server that has entered its accept loop.
    for (int i = 0; i < 5000 && !impl.server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return {};
}

void ExhibitionService::stop() {
    Impl& impl = *m_impl;
    if (!impl.server)
        return;
    impl.stopping = true;
    impl.server->stop();
    if (impl.listener.joinable())
        impl.listener.join();
    impl.server.reset();
}

bool ExhibitionService::isRunning() const {
    return m_impl->server != nullptr;
}

int ExhibitionService::port() const {
    return m_impl->port;
}

std::string ExhibitionService::baseUrl() const {
    return m_impl->baseUrl();
}

void ExhibitionService::setFault(const std::string& path, Fault fault) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults[path] = std::move(fault);
}

void ExhibitionService::clearFault(const std::string& path) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.erase(path);
}

void ExhibitionService::clearFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->faults.clear();
}

void ExhibitionService::setRandomFaults(RandomFaults faults) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->random.seed(faults.seed);
    m_impl->randomFaults = std::move(faults);
}

void ExhibitionService::clearRandomFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->randomFaults.reset();
}

std::vector<InjectedFault> ExhibitionService::injectedFaults() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->injected;
}

const char* faultKindName(FaultKind kind) {
    switch (kind) {
    case FaultKind::DropConnection:
        return "dropped connection";
    case FaultKind::CutBody:
        return "cut body";
    case FaultKind::ServerError:
        return "500";
    case FaultKind::Delay:
        return "delay";
    case FaultKind::NoContentLength:
        return "no Content-Length";
    }
    return "?";
}

std::vector<LoggedRequest> ExhibitionService::requests() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->log;
}

void ExhibitionService::clearRequests() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->log.clear();
}

std::string ExhibitionService::issueToken() {
    return m_impl->newToken();
}

const std::string& ExhibitionService::signInBody() {
    static const std::string body =
        R"({"username":"vr-api-v1","password":"Tq7wRmz4_.kHv#e2N!pLsGa|"})";
    return body;
}

} // namespace dravik::substitute
