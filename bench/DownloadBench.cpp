// Download benchmark: the launcher's HTTPS download path (CurlHttp, one transfer at a time, the way
// the download view fetches its list) against the curl command line, both fetching the same files
// from the substitute exhibition service on the loopback interface.
//
//   dravik_download_bench [--runs N] [--big-mib N] [--small-count N] [--small-kib N]
//                         [--work FOLDER] [--per-file-curl]
//
// Cases: one large file (1 GiB) and many small files (2,000 of 10 KiB). For each it prints the
// seconds of both clients, the launcher's time over curl's, and the peak resident memory
// (ru_maxrss) of the process that ran the launcher's downloads and of curl. Each launcher run
// happens in a fresh child process of this program, so its peak memory is its own.

#include "platform/CurlHttp.h"
#include "platform/QtMainThread.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int runs = 1;
    int64_t bigMiB = 1024;
    int smallCount = 2000;
    int64_t smallKiB = 10;
    fs::path work;
    bool perFileCurl = false;
};

struct Item {
    std::string url;
    fs::path target;
    int64_t size = 0;
};

struct Measure {
    double seconds = 0;
    long peakKiB = 0; // ru_maxrss
    bool ok = false;
};

[[noreturn]] void fail(const std::string& text) {
    std::cerr << "dravik_download_bench: " << text << std::endl;
    std::exit(1);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---------------------------------------------------------------------------------------------
// The launcher's side, run in a child process: "--dravik LISTFILE". The list file holds the token
// on its first line and then one "url<TAB>target" line per file.

int runDravik(int argc, char** argv, const std::string& listFile) {
    std::ifstream in(listFile);
    std::string token;
    std::getline(in, token);
    std::vector<Item> items;
    for (std::string line; std::getline(in, line);) {
        auto tab = line.find('\t');
        if (tab != std::string::npos)
            items.push_back({line.substr(0, tab), line.substr(tab + 1), 0});
    }

    QCoreApplication app(argc, argv);
    dravik::QtMainThread mainThread;
    dravik::CurlHttp http(mainThread, dravik::CurlHttp::builtInCaBundle());

    size_t next = 0;
    int64_t lastWritten = 0;
    int status = 0;
    std::unique_ptr<dravik::Transfer> transfer;
    Clock::time_point start;

    // The same steps as the download view: one transfer, move the temporary file into place in
    // the finished callback, start the next file from the completed callback.
    std::function<void()> startNext = [&] {
        const Item& item = items[next];
        dravik::HttpRequest request;
        request.url = item.url;
        request.headers.emplace_back("Authorization", "Bearer " + token);
        dravik::TransferCallbacks callbacks;
        callbacks.progress = [&](int64_t written, int64_t) {
            lastWritten = written;
        };
        callbacks.finished = [&, target = item.target](const std::string& temporaryFile) {
            std::error_code error;
            fs::rename(temporaryFile, target, error);
            if (error)
                std::printf("file error: %s\n", error.message().c_str());
        };
        callbacks.completed = [&](const std::string& error, std::optional<int>) {
            if (!error.empty()) {
                std::fprintf(stderr, "transfer %zu failed: %s\n", next, error.c_str());
                status = 1;
                QCoreApplication::quit();
                return;
            }
            if (++next == items.size()) {
                QCoreApplication::quit();
                return;
            }
            startNext();
        };
        transfer = http.download(request, item.target.parent_path().string(), callbacks);
    };

    QTimer::singleShot(0, [&] {
        start = Clock::now();
        if (items.empty())
            QCoreApplication::quit();
        else
            startNext();
    });
    QCoreApplication::exec();
    double seconds = secondsSince(start);
    transfer.reset();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
    return status;
}

// ---------------------------------------------------------------------------------------------
// Child processes

struct Child {
    pid_t pid = -1;
    int output = -1; // read end of its standard output, when captured
};

Child spawn(const std::vector<std::string>& arguments, bool captureOutput, bool quiet = false) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipeFds[2] = {-1, -1};
    if (captureOutput) {
        if (pipe(pipeFds) != 0)
            fail("pipe: " + std::string(std::strerror(errno)));
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    }
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Child child;
    int error = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        fail("cannot start " + arguments[0] + ": " + std::strerror(error));
    if (captureOutput) {
        close(pipeFds[1]);
        child.output = pipeFds[0];
    }
    return child;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

// Waits for the child; its exit status and peak memory.
int finish(pid_t pid, long* peakKiB = nullptr) {
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (peakKiB)
        *peakKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// ---------------------------------------------------------------------------------------------
// The service and the files

void writeFile(const fs::path& path, int64_t size, std::mt19937_64& random) {
    std::vector<uint64_t> block(std::min<int64_t>(size, 1 << 20) / 8 + 1);
    for (auto& word : block)
        word = random();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (int64_t left = size; left > 0;) {
        int64_t piece = std::min<int64_t>(left, static_cast<int64_t>(block.size() * 8));
        out.write(reinterpret_cast<const char*>(block.data()), piece);
        left -= piece;
        block[static_cast<size_t>(left) % block.size()] ^= random(); // no two blocks alike
    }
    if (!out)
        fail("cannot write " + path.string());
}

struct Service {
    pid_t pid = -1;
    std::string baseUrl;
    ~Service() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            finish(pid);
        }
    }
};

// The sign-in request's body that the service accepts.
const char* const kSignInBody = R"({"username":"vr-api-v1","password":"Tq7wRmz4_.kHv#e2N!pLsGa|"})";

std::string signIn(const Service& service, const fs::path& work) {
    fs::path reply = work / "auth.json";
    Child curl = spawn({"/usr/bin/curl", "-sS", "--fail", "--cacert", BENCH_CERT_DIR "/ca.pem",
                        "-X", "POST", "--data-binary", kSignInBody, "-o", reply.string(),
                        service.baseUrl + "/exhibition/api/v1/auth"},
                       false);
    if (finish(curl.pid) != 0)
        fail("sign-in at the service failed");
    std::ifstream in(reply);
    std::stringstream text;
    text << in.rdbuf();
    std::string body = text.str();
    auto at = body.find("\"token\":\"");
    if (at == std::string::npos)
        fail("no token in " + body);
    at += 9;
    return body.substr(at, body.find('"', at) - at);
}

// The system's certificates and the test authority, the same set the launcher's client trusts.
fs::path curlCaBundle(const fs::path& work) {
    fs::path bundle = work / "ca-bundle.pem";
    std::ofstream out(bundle, std::ios::binary | std::ios::trunc);
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info && info->cainfo) {
        std::ifstream system(info->cainfo, std::ios::binary);
        out << system.rdbuf() << "\n";
    }
    std::ifstream test(BENCH_CERT_DIR "/ca.pem", std::ios::binary);
    out << test.rdbuf();
    return bundle;
}

// ---------------------------------------------------------------------------------------------
// The two clients

void clearTargets(const std::vector<Item>& items) {
    for (const auto& item : items)
        fs::remove(item.target);
}

bool verify(const std::vector<Item>& items) {
    for (const auto& item : items) {
        std::error_code error;
        if (fs::file_size(item.target, error) != static_cast<uintmax_t>(item.size) || error) {
            std::cerr << "wrong or missing file " << item.target << "\n";
            return false;
        }
    }
    return true;
}

Measure measureDravik(const char* self, const std::string& token, const std::vector<Item>& items,
                      const fs::path& work) {
    clearTargets(items);
    fs::path list = work / "dravik-list.txt";
    {
        std::ofstream out(list, std::ios::trunc);
        out << token << "\n";
        for (const auto& item : items)
            out << item.url << "\t" << item.target.string() << "\n";
    }
    Child child = spawn({self, "--dravik", list.string()}, true);
    std::string output = readAll(child.output);
    Measure measure;
    long childPeak = 0;
    int status = finish(child.pid, &childPeak);
    std::istringstream(output) >> measure.seconds >> measure.peakKiB;
    measure.ok = status == 0 && verify(items);
    return measure;
}

Measure measureCurl(const std::string& token, const std::vector<Item>& items,
                    const fs::path& caBundle, const fs::path& work, bool perFile) {
    clearTargets(items);
    const std::string header = "Authorization: Bearer " + token;
    Measure measure{0, 0, true};
    auto start = Clock::now();
    if (perFile) {
        for (const auto& item : items) {
            Child curl = spawn({"/usr/bin/curl", "-sS", "--fail", "--cacert", caBundle.string(),
                                "-H", header, "-o", item.target.string(), item.url},
                               false);
            long peak = 0;
            measure.ok = finish(curl.pid, &peak) == 0 && measure.ok;
            measure.peakKiB = std::max(measure.peakKiB, peak);
        }
    } else {
        // One process for the whole list: curl fetches the URLs one after another.
        fs::path config = work / "curl-list.txt";
        {
            std::ofstream out(config, std::ios::trunc);
            for (const auto& item : items)
                out << "url = \"" << item.url << "\"\noutput = \"" << item.target.string()
                    << "\"\n";
        }
        Child curl = spawn({"/usr/bin/curl", "-sS", "--fail", "--cacert", caBundle.string(), "-H",
                            header, "-K", config.string()},
                           false);
        measure.ok = finish(curl.pid, &measure.peakKiB) == 0;
    }
    measure.seconds = secondsSince(start);
    measure.ok = measure.ok && verify(items);
    return measure;
}

Measure median(std::vector<Measure> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
    Measure middle = runs[runs.size() / 2];
    for (const auto& run : runs) {
        middle.ok = middle.ok && run.ok;
        middle.peakKiB = std::max(middle.peakKiB, run.peakKiB);
    }
    return middle;
}

std::string mib(long kib) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(kib) / 1024.0);
    return text;
}

void report(const std::string& name, const Measure& dravik, const Measure& curl,
            const std::string& curlNote) {
    std::printf("%-22s %9.2f s %9.2f s %8.2f   %12s %12s   %s%s\n", name.c_str(), dravik.seconds,
                curl.seconds, curl.seconds > 0 ? dravik.seconds / curl.seconds : 0.0,
                mib(dravik.peakKiB).c_str(), mib(curl.peakKiB).c_str(), curlNote.c_str(),
                dravik.ok && curl.ok ? "" : "  (FAILED: see above)");
    std::fflush(stdout);
}

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail("missing value for " + option);
            return argv[++i];
        };
        if (option == "--runs")
            options.runs = std::max(1, std::atoi(value().c_str()));
        else if (option == "--big-mib")
            options.bigMiB = std::max<int64_t>(0, std::atoll(value().c_str()));
        else if (option == "--small-count")
            options.smallCount = std::max(0, std::atoi(value().c_str()));
        else if (option == "--small-kib")
            options.smallKiB = std::max<int64_t>(1, std::atoll(value().c_str()));
        else if (option == "--work")
            options.work = value();
        else if (option == "--per-file-curl")
            options.perFileCurl = true;
        else
            fail("unknown option " + option +
                 " (options: --runs N --big-mib N --small-count N --small-kib N --work FOLDER"
                 " --per-file-curl)");
    }
    return options;
}

int runBenchmark(int argc, char** argv) {
    Options options = parse(argc, argv);
    bool ownWork = options.work.empty();
    if (ownWork) {
        std::string pattern = (fs::temp_directory_path() / "dravik-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            fail("cannot create a work folder: " + std::string(std::strerror(errno)));
        options.work = pattern;
    }
    fs::path data = options.work / "data";
    fs::path files = data / "files" / "bench";
    fs::path received = options.work / "received";
    fs::create_directories(files / "small");
    fs::create_directories(received / "dravik" / "small");
    {
        std::ofstream service(data / "service.json", std::ios::trunc);
        service << R"({"exhibitions": [], "invitations": {}, "emails": []})"
                << "\n";
    }

    std::printf("Preparing %lld MiB and %d x %lld KiB in %s\n",
                static_cast<long long>(options.bigMiB), options.smallCount,
                static_cast<long long>(options.smallKiB), options.work.c_str());
    std::fflush(stdout);
    std::mt19937_64 random(20250401);
    const int64_t bigSize = options.bigMiB * 1024 * 1024;
    const int64_t smallSize = options.smallKiB * 1024;
    if (!fs::exists(files / "big.bin") || fs::file_size(files / "big.bin") != uintmax_t(bigSize))
        writeFile(files / "big.bin", bigSize, random);
    for (int i = 0; i < options.smallCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.bin", i);
        fs::path path = files / "small" / name;
        if (!fs::exists(path) || fs::file_size(path) != uintmax_t(smallSize))
            writeFile(path, smallSize, random);
    }

    Service service;
    Child server =
        spawn({BENCH_SERVICE_PROGRAM, "--port", "0", "--data", data.string(), "--cert",
               BENCH_CERT_DIR "/server.pem", "--key", BENCH_CERT_DIR "/server.key", "--quiet"},
              true, true);
    service.pid = server.pid;
    std::string portLine;
    for (char c; read(server.output, &c, 1) == 1 && c != '\n';)
        portLine.push_back(c);
    if (portLine.empty())
        fail("the service did not start");
    service.baseUrl = "https://127.0.0.1:" + portLine;
    std::string token = signIn(service, options.work);
    fs::path caBundle = curlCaBundle(options.work);

    auto listFor = [&](const std::string& client) {
        std::vector<std::vector<Item>> lists(2);
        if (options.bigMiB > 0)
            lists[0].push_back(
                {service.baseUrl + "/files/bench/big.bin", received / client / "big.bin", bigSize});
        for (int i = 0; i < options.smallCount; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%05d.bin", i);
            lists[1].push_back({service.baseUrl + "/files/bench/small/" + name,
                                received / client / "small" / name, smallSize});
        }
        return lists;
    };
    fs::create_directories(received / "curl" / "small");
    auto dravikLists = listFor("dravik");
    auto curlLists = listFor("curl");

    std::printf("Service %s, %d run(s) per figure (median)\n\n", service.baseUrl.c_str(),
                options.runs);
    std::printf("%-22s %11s %11s %8s   %12s %12s   %s\n", "case", "Dravik", "curl", "ratio",
                "Dravik peak", "curl peak", "curl run as");
    for (int c = 0; c < 2; ++c) {
        if (dravikLists[c].empty())
            continue;
        char label[64];
        if (c == 0)
            std::snprintf(label, sizeof label, "1 x %lld MiB",
                          static_cast<long long>(options.bigMiB));
        else
            std::snprintf(label, sizeof label, "%d x %lld KiB", options.smallCount,
                          static_cast<long long>(options.smallKiB));
        std::vector<Measure> dravikRuns;
        std::vector<Measure> curlRuns;
        std::vector<Measure> perFileRuns;
        for (int run = 0; run < options.runs; ++run) {
            dravikRuns.push_back(measureDravik(argv[0], token, dravikLists[c], options.work));
            curlRuns.push_back(measureCurl(token, curlLists[c], caBundle, options.work, false));
            if (c == 1 && options.perFileCurl)
                perFileRuns.push_back(
                    measureCurl(token, curlLists[c], caBundle, options.work, true));
        }
        Measure dravik = median(dravikRuns);
        report(label, dravik, median(curlRuns), "one process for the list");
        if (!perFileRuns.empty())
            report(label, dravik, median(perFileRuns), "one process per file");
        clearTargets(dravikLists[c]);
        clearTargets(curlLists[c]);
    }
    std::printf("\nratio = Dravik's seconds / curl's; peak = ru_maxrss of the downloading process"
                " (for curl per file: the largest of its processes)\n");
    if (ownWork)
        fs::remove_all(options.work);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--dravik")
        return runDravik(argc, argv, argv[2]);
    // The program needs its own path to start the launcher's side as a child.
    if (std::string(argv[0]).find('/') == std::string::npos)
        fail("start it with a path, for example ./dravik_download_bench");
    return runBenchmark(argc, argv);
}
