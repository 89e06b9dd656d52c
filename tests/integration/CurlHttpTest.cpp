#include "system/curl/CurlHttp.h"

#include "common/Lifetime.h"
#include "integration/TinyTlsServer.h"
#include "support/ServiceFixture.h"
#include "support/SystemTesting.h"
#include "system/qt/QtMainThread.h"

#include <atomic>
#include <cstdio>
#include <curl/curl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <thread>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using substitute::Fault;
using test::answer;
using test::pumpFor;
using test::pumpUntil;
using test::ServiceFixture;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string kAuth = "/exhibition/api/v1/auth";
const std::string kBigFile = "/files/big.bin";

Fault delayed(std::chrono::milliseconds delay) {
    Fault fault;
    fault.delay = delay;
    return fault;
}

Fault paced(std::chrono::milliseconds pacing) {
    Fault fault;
    fault.pacing = pacing;
    return fault;
}

Fault cutBody() {
    Fault fault;
    fault.cutBody = true;
    return fault;
}

Fault dropped() {
    Fault fault;
    fault.dropConnection = true;
    return fault;
}

Fault unannounced(Fault fault = {}) {
    fault.noContentLength = true;
    return fault;
}

Fault redirectTo(const std::string& location) {
    Fault fault;
    fault.location = location;
    return fault;
}

// A request's outcome as the cases check it: a status when an answer came, else the error.
struct Outcome {
    std::optional<int> status;
    std::optional<std::string> body;
    std::string error;
    bool answered() const { return status.has_value(); }
};

Outcome outcomeOf(const Expected<HttpResponse>& response) {
    if (!response)
        return {std::nullopt, std::nullopt, response.error()};
    return {response->status, response->body, {}};
}

struct Recording {
    std::vector<std::pair<int64_t, int64_t>> progress;
    std::vector<std::string> events; // "progress", "finished", "completed"
    std::string finishedFile;
    bool finishedFileExisted = false;
    bool completed = false;
    std::string error;
    std::optional<int> status;
    int64_t resumedFrom = 0;
    bool offMainThread = false;
};

// Writes size bytes of a repeating pattern, so a misplaced block shows up in a comparison.
void writePattern(const std::string& path, size_t size) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t written = 0; written < size;) {
        size_t n = std::min(block.size(), size - written);
        for (size_t i = 0; i < n; ++i)
            block[i] = static_cast<char>(((written + i) * 31 + (written + i) / 4093) % 251);
        out.write(block.data(), static_cast<std::streamsize>(n));
        written += n;
    }
}

bool sameContent(const std::string& a, const std::string& b) {
    std::ifstream left(a, std::ios::binary);
    std::ifstream right(b, std::ios::binary);
    std::string x(1 << 20, '\0');
    std::string y(1 << 20, '\0');
    while (left && right) {
        left.read(x.data(), static_cast<std::streamsize>(x.size()));
        right.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (left.gcount() != right.gcount() || x.compare(0, left.gcount(), y, 0, right.gcount()))
            return false;
    }
    return left.eof() && right.eof();
}

std::string textOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The name a hashed certificate folder gives the certificate: its subject's hash and ".0".
std::string hashedName(const std::string& pemFile) {
    std::FILE* file = std::fopen(pemFile.c_str(), "r");
    X509* certificate = file ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr;
    if (file)
        std::fclose(file);
    char name[16] = {};
    if (certificate)
        std::snprintf(name, sizeof name, "%08lx.0", X509_subject_name_hash(certificate));
    X509_free(certificate);
    return name;
}

size_t entriesIn(const std::string& folder) {
    std::error_code error;
    size_t count = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator();
         it.increment(error))
        ++count;
    return count;
}

class CurlHttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureQtApplication(); }

    CurlHttpTest() {
        writePattern(service.data() + "/files/big.bin", 3 * 1024 * 1024 + 17);
        EXPECT_THAT(service.start(), IsEmpty());
        token = service.service().issueToken();
        fs::create_directories(downloads);
    }

    HttpRequest authorizedGet(const std::string& path) {
        HttpRequest request;
        request.url = service.url(path);
        request.headers = {{"Authorization", "Bearer " + token}};
        return request;
    }

    // A delivered file is recorded as "finished" and moved to received, as the download view does.
    TransferReceiver record(Recording& recording) {
        TransferReceiver receiver;
        receiver.context = alive.token();
        receiver.progress = [this, &recording](int64_t written, int64_t expected) {
            recording.offMainThread |= !mainThread.isCurrent();
            recording.events.push_back("progress");
            recording.progress.emplace_back(written, expected);
        };
        receiver.completed = [this, &recording](const TransferResult& result) {
            recording.offMainThread |= !mainThread.isCurrent();
            if (!result.file.empty()) {
                recording.events.push_back("finished");
                recording.finishedFile = result.file;
                recording.finishedFileExisted = fs::exists(result.file);
                std::error_code error;
                fs::rename(result.file, received, error);
            }
            recording.events.push_back("completed");
            recording.completed = true;
            recording.error = result.error;
            recording.status = result.status;
            recording.resumedFrom = result.resumedFrom;
        };
        return receiver;
    }

    Recording fetch(const HttpRequest& request) { return fetchWith(http, request); }

    Recording fetchWith(Http& client, const HttpRequest& request) {
        Recording recording;
        auto transfer = client.download(request, downloads, record(recording));
        EXPECT_TRUE(pumpUntil([&] { return recording.completed; }));
        return recording;
    }

    test::TempFolder temp;
    ServiceFixture service;
    Lifetime alive;
    QtMainThread mainThread;
    CurlHttp http{mainThread, test::kTestCa};
    std::string token;
    std::string downloads = temp / "downloads";
    std::string received = temp / "received.bin";
};

TEST_F(CurlHttpTest, RequestSendsMethodBodyAndHeadersAndReturnsTheAnswer) {
    struct Case {
        std::string body;
        int status;
        std::string replyPart;
    };
    for (const Case& c : {Case{substitute::ExhibitionService::signInBody(), 200, "\"token\""},
                          Case{R"({"username":"vr-api-v1","password":"wrong"})", 401,
                               R"({"error":{"code":"AUTH")"}}) {
        SCOPED_TRACE(c.body);
        service.service().clearRequests();
        HttpRequest request;
        request.method = "POST";
        request.url = service.url(kAuth);
        request.body = c.body;
        request.headers = {{"X-Probe", "one two"}};
        Outcome response = outcomeOf(http.request(request));

        EXPECT_EQ(response.status, c.status) << response.error;
        EXPECT_THAT(response.error, IsEmpty());
        ASSERT_TRUE(response.body.has_value());
        EXPECT_THAT(*response.body, HasSubstr(c.replyPart));

        auto log = service.service().requests();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].method, "POST");
        EXPECT_EQ(log[0].target, kAuth);
        EXPECT_EQ(log[0].body, c.body);
        EXPECT_EQ(log[0].header("X-Probe"), "one two");
        EXPECT_EQ(log[0].header("Cache-Control"), "no-cache");
        EXPECT_FALSE(log[0].hasHeader("Cookie"));
    }
}

TEST_F(CurlHttpTest, RequestBodyIsAbsentOnlyWhenNothingWasSent) {
    struct Case {
        Fault fault;
        int status;
        std::optional<std::string> body;
    };
    const Case cases[] = {
        {answer(200), 200, std::nullopt},
        {answer(503, "busy"), 503, "busy"},
        {unannounced(answer(200, "{}")), 200, "{}"},
    };
    for (const Case& c : cases) {
        service.service().setFault("/exhibition/api/v1/visitors/search", c.fault);
        Outcome response =
            outcomeOf(http.request(authorizedGet("/exhibition/api/v1/visitors/search")));
        EXPECT_EQ(response.status, c.status) << response.error;
        EXPECT_EQ(response.body, c.body);
    }
}

TEST_F(CurlHttpTest, RequestReportsTransportFailuresWithoutStatus) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        {"timeout",
         [&] {
             service.service().setFault(kAuth, delayed(3s));
         }},
        {"dropped",
         [&] {
             service.service().setFault(kAuth, dropped());
         }},
        {"cut body",
         [&] {
             service.service().setFault(kAuth, cutBody());
         }},
        {"stopped",
         [&] {
             service.service().stop();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        HttpRequest request;
        request.method = "POST";
        request.url = service.url(kAuth);
        request.body = substitute::ExhibitionService::signInBody();
        request.timeout = 400ms;
        Outcome response = outcomeOf(http.request(request));
        EXPECT_FALSE(response.answered());
        EXPECT_FALSE(response.body.has_value());
        EXPECT_THAT(response.error, Not(IsEmpty()));
        service.service().clearFaults();
    }
}

TEST_F(CurlHttpTest, OnlyVerifiedTlsIsAccepted) {
    ServiceFixture untrusted("untrusted");
    ASSERT_THAT(untrusted.start(), IsEmpty());
    CurlHttp systemOnly(mainThread);
    std::string plain = service.url("/QA.html");
    plain.replace(0, 5, "http");
    struct Case {
        const char* name;
        CurlHttp& client;
        std::string url;
        std::string errorPart; // empty: accepted
    };
    const Case cases[] = {
        {"test CA, its certificate", http, service.url("/QA.html"), ""},
        {"system store only", systemOnly, service.url("/QA.html"), "certificate"},
        {"test CA, self-signed certificate", http, untrusted.url("/QA.html"), "certificate"},
        {"plain http", http, plain, "http"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpRequest request;
        request.url = c.url;
        Outcome response = outcomeOf(c.client.request(request));
        EXPECT_EQ(response.answered(), c.errorPart.empty()) << response.error;
        EXPECT_THAT(response.error, HasSubstr(c.errorPart));
    }
}

// The system's authorities come from a bundle or a hashed folder, each read on its own: a damaged
// certificate costs only itself, and a system without any is named once in the run log.
TEST_F(CurlHttpTest, TrustIsTheSystemsAsGivenPlusTheExtraAuthority) {
    const std::string ca = textOf(test::kTestCa);
    ASSERT_THAT(ca, HasSubstr("BEGIN CERTIFICATE"));
    const std::string damaged =
        "-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydGlmaWNhdGU=\n-----END CERTIFICATE-----\n";
    const std::string bundle = temp / "system/bundle.pem";
    const std::string hashed = temp / "system/hashed";
    const std::string empty = temp / "system/empty";
    fs::create_directories(hashed);
    fs::create_directories(empty);
    std::ofstream(bundle) << damaged << ca << damaged;
    fs::copy_file(test::kTestCa, hashed + "/" + hashedName(test::kTestCa));
    using Sources = TrustStore::SystemSources;
    const Sources none{{temp / "system/none.pem"}, {empty}};
    struct Case {
        const char* name;
        Sources system;
        std::optional<TrustStore::Pem> extra;
        bool accepted;
        bool saysNoSystemTrust;
    };
    const Case cases[] = {
        {"bundle with damaged blocks", {{bundle}, {empty}}, std::nullopt, true, false},
        {"hashed folder", {{}, {hashed}}, std::nullopt, true, false},
        {"damaged extra bundle", none, TrustStore::Pem{"extra.pem", damaged + ca}, true, true},
        {"unreadable extra bundle",
         {{bundle}, {}},
         TrustStore::readFile(temp / "missing.pem"),
         true,
         false},
        {"no authority at all", none, std::nullopt, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TransferEngine::Settings settings;
        settings.systemAuthorities = c.system;
        settings.extraAuthority = c.extra;
        CurlHttp client(mainThread, settings);
        std::vector<std::string> runLog;
        client.setRunLog([&runLog](const std::string& line) { runLog.push_back(line); });
        HttpRequest request;
        request.url = service.url("/QA.html");
        for (int round = 0; round < 2; ++round) {
            Outcome response = outcomeOf(client.request(request));
            EXPECT_EQ(response.answered(), c.accepted) << response.error;
        }
        EXPECT_EQ(runLog.size(), c.saysNoSystemTrust ? 1u : 0u);
    }
}

// A failure of libcurl's multi interface ends what runs and what waits with an error, instead of
// leaving a worker waiting or the engine's thread spinning; the engine then goes on.
TEST_F(CurlHttpTest, AFailingMultiInterfaceEndsEveryJobAndTheEngineGoesOn) {
    test::TinyTlsServer server(test::kCertificates + "/server.pem",
                               test::kCertificates + "/server.key", {.slowPause = 2s});
    std::atomic<bool> failing{false};
    std::atomic<int> failedCalls{0};
    TransferEngine::Settings settings;
    settings.extraAuthority = TrustStore::readFile(test::kTestCa);
    settings.multiResult = [&](int result) {
        if (!failing)
            return result;
        ++failedCalls;
        return static_cast<int>(CURLM_OUT_OF_MEMORY);
    };
    CurlHttp client(mainThread, settings);
    HttpRequest slow;
    slow.url = server.url("/slow");
    Outcome answer;
    std::thread worker([&] { answer = outcomeOf(client.request(slow)); });
    Recording r;
    auto transfer = client.download(slow, downloads, record(r));
    ASSERT_TRUE(pumpUntil([&] { return server.connections() == 2; }));
    failing = true;
    ASSERT_TRUE(pumpUntil([&] { return r.completed; }));
    worker.join();

    EXPECT_THAT(answer.error, HasSubstr("transfer engine failed"));
    EXPECT_THAT(r.error, HasSubstr("transfer engine failed"));
    EXPECT_EQ(entriesIn(downloads), 0u);
    pumpFor(500ms);
    EXPECT_LT(failedCalls.load(), 20); // it waits for work between tries
    failing = false;
    HttpRequest quick;
    quick.url = server.url("/a");
    EXPECT_EQ(outcomeOf(client.request(quick)).status, 200);
}

// A reused connection that closes before the answer makes libcurl send the request again; a
// request with a body (the sign-in) goes on a fresh connection instead, so the server reads it
// once.
TEST_F(CurlHttpTest, ARequestWithABodyIsNeverSentTwice) {
    test::TinyTlsServer server(test::kCertificates + "/server.pem",
                               test::kCertificates + "/server.key", {});
    CurlHttp client(mainThread, test::kTestCa);
    HttpRequest get;
    get.url = server.url("/a");
    ASSERT_EQ(outcomeOf(client.request(get)).status, 200);
    HttpRequest post;
    post.method = "POST";
    post.url = server.url("/hangup");
    post.body = substitute::ExhibitionService::signInBody();
    Outcome response = outcomeOf(client.request(post));

    EXPECT_FALSE(response.answered());
    EXPECT_THAT(response.error, Not(IsEmpty()));
    EXPECT_EQ(server.requestsFor("/hangup"), 1);
}

// The request timeout is a time without data, not a time in all: an answer that keeps coming is
// not cut off, one that does not come ends.
TEST_F(CurlHttpTest, TheRequestTimeoutCountsTimeWithoutData) {
    test::TinyTlsServer server(test::kCertificates + "/server.pem",
                               test::kCertificates + "/server.key",
                               {.bodySize = 16, .slowPause = 3s, .tricklePause = 100ms});
    CurlHttp client(mainThread, test::kTestCa);
    struct Case {
        const char* path;
        bool answered;
        std::string errorPart;
    };
    const Case cases[] = {
        {"/trickle", true, ""}, // 1.6 s in all, never 1 s without a byte
        {"/slow", false, "Timed out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        HttpRequest request;
        request.url = server.url(c.path);
        request.timeout = 1s;
        Outcome response = outcomeOf(client.request(request));
        EXPECT_EQ(response.answered(), c.answered) << response.error;
        EXPECT_THAT(response.error, HasSubstr(c.errorPart));
        if (c.answered) {
            EXPECT_EQ(response.body, std::string(16, 'x'));
        }
    }
}

// The token goes with a redirect only to the same origin: never to another host or port (an
// operator's token host included), and a redirect from https to http is refused.
TEST_F(CurlHttpTest, TheTokenFollowsNoRedirectToAnotherOrigin) {
    ServiceFixture other;
    ASSERT_THAT(other.start(), IsEmpty());
    std::string plain = other.url("/QA.html");
    plain.replace(0, 5, "http");
    struct Case {
        const char* name;
        std::string location;
        bool answered;
        test::ServiceFixture* reached; // where the redirect ends
        bool withToken;
    };
    const Case cases[] = {
        {"same origin", service.url("/QA.html"), true, &service, true},
        {"another port", other.url("/QA.html"), true, &other, false},
        {"https to http", plain, false, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.service().clearRequests();
        other.service().clearRequests();
        service.service().setFault("/moved", redirectTo(c.location));
        Outcome response = outcomeOf(http.request(authorizedGet("/moved")));
        EXPECT_EQ(response.answered(), c.answered) << response.error;
        if (c.reached == nullptr) {
            EXPECT_EQ(other.service().requests().size(), 0u);
            continue;
        }
        auto requests = c.reached->service().requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back().target, "/QA.html");
        EXPECT_EQ(requests.back().hasHeader("Authorization"), c.withToken);
    }
}

TEST_F(CurlHttpTest, DownloadReportsProgressThenFileThenCompletionOnTheMainThread) {
    const int64_t size = static_cast<int64_t>(fs::file_size(service.data() + "/files/big.bin"));
    struct Case {
        const char* name;
        Fault fault;
        int64_t expected;
    };
    const Case cases[] = {
        {"announced length", Fault{}, size},
        {"unknown length", unannounced(), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.service().setFault(kBigFile, c.fault);
        fs::remove_all(downloads); // the client makes it, as it makes a new booth's folder
        Recording r = fetch(authorizedGet(kBigFile));

        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.status, 200);
        EXPECT_FALSE(r.offMainThread);
        ASSERT_FALSE(r.progress.empty());
        ASSERT_GE(r.events.size(), 3u);
        EXPECT_EQ(r.events[r.events.size() - 2], "finished");
        EXPECT_EQ(r.events.back(), "completed");
        for (size_t i = 0; i < r.progress.size(); ++i) {
            EXPECT_EQ(r.progress[i].second, c.expected);
            if (i > 0) {
                EXPECT_GT(r.progress[i].first, r.progress[i - 1].first);
            }
        }
        EXPECT_EQ(r.progress.back().first, size);
        EXPECT_TRUE(r.finishedFileExisted);
        EXPECT_EQ(fs::path(r.finishedFile).parent_path(), fs::path(downloads));
        EXPECT_TRUE(sameContent(received, service.data() + "/files/big.bin"));
        EXPECT_EQ(entriesIn(downloads), 0u);
    }
    EXPECT_EQ(service.service().requests().back().header("Authorization"), "Bearer " + token);
}

TEST_F(CurlHttpTest, FailedDownloadsDeliverNoFileAndLeaveNothingBehind) {
    struct Case {
        const char* name;
        std::function<HttpRequest()> arrange;
        std::string error; // part of the expected error
        std::optional<int> status;
    };
    const Case cases[] = {
        {"missing file", [&] { return authorizedGet("/files/none.bin"); }, "HTTP 404", 404},
        {"no token",
         [&] {
             HttpRequest request = authorizedGet(kBigFile);
             request.headers.clear();
             return request;
         },
         "HTTP 401", 401},
        {"server error with a body",
         [&] {
             service.service().setFault(kBigFile, answer(500, "page"));
             return authorizedGet(kBigFile);
         },
         "HTTP 500", 500},
        {"cut body",
         [&] {
             service.service().setFault(kBigFile, cutBody());
             return authorizedGet(kBigFile);
         },
         "", 200},
        {"dropped connection",
         [&] {
             service.service().setFault(kBigFile, dropped());
             return authorizedGet(kBigFile);
         },
         "", std::nullopt},
        {"no data within the timeout",
         [&] {
             service.service().setFault(kBigFile, delayed(3s));
             HttpRequest request = authorizedGet(kBigFile);
             request.timeout = 300ms;
             return request;
         },
         "Timed out", std::nullopt},
        {"server stopped",
         [&] {
             service.service().stop();
             return authorizedGet(kBigFile);
         },
         "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recording r = fetch(c.arrange());
        EXPECT_THAT(r.error, Not(IsEmpty()));
        EXPECT_THAT(r.error, HasSubstr(c.error));
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(r.finishedFile.empty());
        EXPECT_EQ(r.events.back(), "completed");
        EXPECT_EQ(entriesIn(downloads), 0u);
        service.service().clearFaults();
    }
}

TEST_F(CurlHttpTest, ABodyCutShortContinuesOnlyWhileTheServerSendsTheSameFile) {
    const std::string original = service.data() + kBigFile;
    const int64_t size = static_cast<int64_t>(fs::file_size(original));
    const int64_t cut = size / 2;
    struct Case {
        const char* name;
        Fault fault;        // on the second request
        std::string tag;    // of the second request
        int64_t extraBytes; // appended to the kept bytes before the second request
        int64_t resumedFrom;
        size_t requests; // by the second download
    };
    Fault changed;
    changed.validator = "\"another file\"";
    Fault ignoring;
    ignoring.ignoreRanges = true;
    Fault wrong;
    wrong.wrongRange = true;
    const Case cases[] = {
        {"the same file", {}, "t1", 0, cut, 1},
        {"a server that ignores ranges", ignoring, "t1", 0, 0, 1},
        {"a changed file", changed, "t1", 0, 0, 1},
        {"a range that starts elsewhere, asked again whole", wrong, "t1", 0, 0, 2},
        {"kept bytes longer than the file, asked again whole", {}, "t1", size, 0, 2},
        {"another stamp of the folder", {}, "t2", 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpRequest request = authorizedGet(kBigFile);
        request.resumeFile = temp / "booth/.big.bin.partial";
        request.resumeTag = "t1";
        service.service().setFault(kBigFile, cutBody());
        Recording first = fetch(request);
        ASSERT_THAT(first.error, Not(IsEmpty()));
        ASSERT_EQ(fs::file_size(request.resumeFile), static_cast<uint64_t>(cut));
        if (c.extraBytes > 0)
            std::ofstream(request.resumeFile, std::ios::app) << std::string(c.extraBytes, 'x');

        service.service().setFault(kBigFile, c.fault);
        service.service().clearRequests();
        request.resumeTag = c.tag;
        Recording second = fetch(request);
        EXPECT_EQ(second.error, "");
        EXPECT_EQ(second.resumedFrom, c.resumedFrom);
        EXPECT_TRUE(sameContent(received, original));
        auto log = service.service().requests();
        ASSERT_EQ(log.size(), c.requests);
        EXPECT_EQ(log.front().header("Range"),
                  c.tag == "t1" ? "bytes=" + std::to_string(cut + c.extraBytes) + "-" : "");
        EXPECT_EQ(log.back().header("Range"), log.size() > 1 ? "" : log.front().header("Range"));
        EXPECT_EQ(entriesIn(temp / "booth"), 0u);
        service.service().clearFaults();
    }
}

TEST_F(CurlHttpTest, CancelEndsTheTransferWithAnError) {
    service.service().setFault(kBigFile, paced(20ms));
    Recording r;
    std::unique_ptr<Transfer> transfer;
    TransferReceiver callbacks = record(r);
    auto progress = callbacks.progress;
    callbacks.progress = [&](int64_t written, int64_t expected) {
        progress(written, expected);
        transfer->cancel();
    };
    transfer = http.download(authorizedGet(kBigFile), downloads, callbacks);
    ASSERT_TRUE(pumpUntil([&] { return r.completed; }));

    EXPECT_EQ(r.error, "cancelled");
    EXPECT_TRUE(r.finishedFile.empty());
    EXPECT_LT(r.progress.back().first, r.progress.back().second);
    EXPECT_EQ(entriesIn(downloads), 0u);
}

TEST_F(CurlHttpTest, NothingIsDeliveredAfterTheTransferOrTheClientIsGone) {
    service.service().setFault(kBigFile, paced(20ms));
    {
        SCOPED_TRACE("transfer destroyed in its own progress callback");
        Recording r;
        std::unique_ptr<Transfer> transfer;
        TransferReceiver callbacks = record(r);
        auto progress = callbacks.progress;
        callbacks.progress = [&](int64_t written, int64_t expected) {
            progress(written, expected);
            transfer.reset();
        };
        transfer = http.download(authorizedGet(kBigFile), downloads, callbacks);
        ASSERT_TRUE(pumpUntil([&] { return transfer == nullptr; }));
        pumpFor(300ms);
        EXPECT_EQ(r.events, std::vector<std::string>{"progress"});
        EXPECT_EQ(entriesIn(downloads), 0u);
    }
    {
        SCOPED_TRACE("client destroyed while its transfer runs");
        Recording r;
        auto client = std::make_unique<CurlHttp>(mainThread, test::kTestCa);
        auto transfer = client->download(authorizedGet(kBigFile), downloads, record(r));
        ASSERT_TRUE(pumpUntil([&] { return !r.progress.empty(); }));
        client.reset();
        size_t seen = r.events.size();
        pumpFor(300ms);
        EXPECT_EQ(r.events.size(), seen);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(entriesIn(downloads), 0u);
        transfer.reset();
    }
    {
        SCOPED_TRACE("receiver gone while its transfer runs");
        Recording r;
        auto receiver = std::make_unique<Lifetime>();
        TransferReceiver report = record(r);
        report.context = receiver->token();
        auto transfer = http.download(authorizedGet(kBigFile), downloads, report);
        ASSERT_TRUE(pumpUntil([&] { return !r.progress.empty(); }));
        receiver.reset();
        size_t seen = r.events.size();
        // The transfer notices at its next report and stops, leaving no file behind.
        ASSERT_TRUE(pumpUntil([&] { return entriesIn(downloads) == 0; }));
        pumpFor(300ms);
        EXPECT_EQ(r.events.size(), seen);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(entriesIn(downloads), 0u);
    }
}

TEST_F(CurlHttpTest, LargeDownloadGoesToDiskWithoutGrowingMemory) {
    const size_t size = 50u * 1024 * 1024;
    writePattern(service.data() + "/files/large.bin", size);
    const int64_t before = test::residentBytes();
    ASSERT_GT(before, 0) << "this system's resident size could not be read";
    int64_t peak = before;
    Recording r;
    TransferReceiver callbacks = record(r);
    auto progress = callbacks.progress;
    callbacks.progress = [&](int64_t written, int64_t expected) {
        progress(written, expected);
        peak = std::max(peak, test::residentBytes());
    };
    auto transfer = http.download(authorizedGet("/files/large.bin"), downloads, callbacks);
    ASSERT_TRUE(pumpUntil([&] { return r.completed; }, std::chrono::minutes(2)));

    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.progress.back(), std::make_pair(int64_t(size), int64_t(size)));
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer keeps freed memory in quarantine, so the resident size says nothing there.
    EXPECT_LT(peak - before, int64_t(16) * 1024 * 1024);
#endif
    EXPECT_EQ(fs::file_size(received), size);
    EXPECT_TRUE(sameContent(received, service.data() + "/files/large.bin"));
}

TEST_F(CurlHttpTest, OneClientKeepsOneConnectionUntilTheServerEndsIt) {
    using Options = test::TinyTlsServer::Options;
    struct Case {
        const char* name;
        Options options;
        std::vector<std::string> paths; // fetched one after another, after one request
        std::vector<bool> fetched;
        int connections;
    };
    const Case cases[] = {
        {"kept alive", Options{}, {"/a", "/b", "/c"}, {true, true, true}, 1},
        {"closed after every answer",
         Options{.answersPerConnection = 1},
         {"/a", "/b", "/c"},
         {true, true, true},
         4},
        {"HTTP/1.0", Options{.http10 = true}, {"/a", "/b", "/c"}, {true, true, true}, 4},
        {"body cut off", Options{}, {"/a", "/cut", "/b"}, {true, false, true}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TinyTlsServer server(test::kCertificates + "/server.pem",
                                   test::kCertificates + "/server.key", c.options);
        CurlHttp client(mainThread, test::kTestCa);
        HttpRequest request;
        request.url = server.url("/request");
        EXPECT_EQ(outcomeOf(client.request(request)).status, 200);
        for (size_t i = 0; i < c.paths.size(); ++i) {
            SCOPED_TRACE(c.paths[i]);
            fs::remove(received);
            request.url = server.url(c.paths[i]);
            Recording r = fetchWith(client, request);
            EXPECT_EQ(r.error.empty(), c.fetched[i]) << r.error;
            EXPECT_EQ(fs::exists(received), c.fetched[i]);
            if (c.fetched[i]) {
                EXPECT_EQ(fs::file_size(received), c.options.bodySize);
            }
        }
        EXPECT_EQ(server.connections(), c.connections);
        EXPECT_EQ(entriesIn(downloads), 0u);
    }
}

TEST_F(CurlHttpTest, ClosingTheClientEndsWhatItsEngineRuns) {
    test::TinyTlsServer server(test::kCertificates + "/server.pem",
                               test::kCertificates + "/server.key", {.slowPause = 1s});
    auto client = std::make_unique<CurlHttp>(mainThread, test::kTestCa);
    CurlHttp* shared = client.get();
    HttpRequest slow;
    slow.url = server.url("/slow");
    Outcome answer;
    std::thread worker([&] { answer = outcomeOf(shared->request(slow)); });
    Recording r;
    auto transfer = client->download(slow, downloads, record(r));
    ASSERT_TRUE(pumpUntil([&] { return server.connections() == 2; }));
    pumpFor(100ms);
    client.reset();
    worker.join();
    pumpFor(100ms);

    EXPECT_FALSE(answer.answered());
    EXPECT_EQ(answer.error, "cancelled");
    EXPECT_TRUE(r.events.empty());
    EXPECT_EQ(entriesIn(downloads), 0u);
}

} // namespace
} // namespace dravik
