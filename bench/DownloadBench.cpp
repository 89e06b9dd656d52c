// Download benchmark: the launcher's HTTPS download path (CurlHttp, one transfer at a time, the way
// the download view fetches its list) against one curl process fetching the same list over one
// reused connection, both from a real web server on the loopback interface (./scripts/bench
// starts nginx and makes the files).
//
//   dravik_download_bench --extra-ca CA.pem --curl-ca BUNDLE.pem --work FOLDER
//                         --case "LABEL|BASE-URL|FOLDER|COUNT|BYTES[|BOOTHS|PARALLEL]" [--case ...]
//                         [--runs N]
//
// A case fetches BASE-URL/FOLDER/00000 ... (COUNT files of BYTES each). A case with BOOTHS runs
// the whole download view instead of the bare download path: the real platform (the engine, the
// main thread's event loop, the workers, the disk barrier), the view with its labels under Qt's
// offscreen platform, the files spread over BOOTHS booth folders, each stamped when complete, with
// Parallel_Downloads=PARALLEL; from the view's start to its window's close (the last stamp on the
// disk). curl then writes into the same booth folders, with --parallel-max PARALLEL when PARALLEL
// is above 1. For each case it prints
// the seconds of both clients, the launcher's time over curl's, and the peak resident memory
// (ru_maxrss) of the process that ran the launcher's downloads. Each launcher run happens in a
// fresh child process of this program, so its peak memory is its own. The launcher trusts the
// system's certificates and CA.pem, as a production build does with its built-in authority; curl
// gets the same set as one bundle.

#include "app/Storyboard.h"
#include "app/WindowController.h"
#include "common/Ini.h"
#include "common/Launcher.h"
#include "exhibition/ui/ViewControllerDownload.h"
#include "system/SystemServices.h"
#include "system/curl/CurlHttp.h"
#include "system/posix/PosixProcesses.h"
#include "system/posix/ThreadWorkers.h"
#include "system/qt/QtAlerts.h"
#include "system/qt/QtAudioPlayer.h"
#include "system/qt/QtDesktop.h"
#include "system/qt/QtMainThread.h"

#include <QApplication>
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

struct Case {
    std::string label;
    std::string baseUrl;
    std::string folder;
    int count = 0;
    int64_t bytes = 0;
    int booths = 0; // above 0: the whole download view, the files spread over this many folders
    int parallel = 1;
};

struct Options {
    int runs = 1;
    fs::path work;
    std::string extraCa;
    std::string curlCa;
    std::vector<Case> cases;
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
    std::string extraCa;
    std::getline(in, token);
    std::getline(in, extraCa);
    std::vector<Item> items;
    for (std::string line; std::getline(in, line);) {
        auto tab = line.find('\t');
        if (tab != std::string::npos)
            items.push_back({line.substr(0, tab), line.substr(tab + 1), 0});
    }

    QCoreApplication app(argc, argv);
    dravik::QtMainThread mainThread;
    dravik::CurlHttp http(mainThread, extraCa);

    size_t next = 0;
    int64_t lastWritten = 0;
    int status = 0;
    std::unique_ptr<dravik::Transfer> transfer;
    Clock::time_point start;

    // The same steps as the download view: one transfer, then, in its completion, move the
    // temporary file into place and start the next file.
    const auto alive = std::make_shared<char>();
    std::function<void()> startNext = [&] {
        const Item& item = items[next];
        dravik::HttpRequest request;
        request.url = item.url;
        request.headers.emplace_back("Authorization", "Bearer " + token);
        dravik::TransferReceiver receiver;
        receiver.context = alive;
        receiver.progress = [&](int64_t written, int64_t) {
            lastWritten = written;
        };
        receiver.completed = [&, target = item.target](const dravik::TransferResult& result) {
            if (!result.succeeded()) {
                std::fprintf(stderr, "transfer %zu failed: %s\n", next, result.error.c_str());
                status = 1;
                QCoreApplication::quit();
                return;
            }
            std::error_code error;
            fs::rename(result.file, target, error);
            if (error)
                std::printf("file error: %s\n", error.message().c_str());
            if (++next == items.size()) {
                QCoreApplication::quit();
                return;
            }
            startNext();
        };
        transfer = http.download(request, item.target.parent_path().string(), receiver);
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

// The whole download view, run in a child process: "--app LISTFILE". The list file holds the
// extra authority, the base folder, Parallel_Downloads, then one "booth<TAB>url<TAB>target" line
// per file. The base folder holds a stand-in viewer that sleeps and writes its process id beside
// itself, so that the bench can end it.
int runApp(int argc, char** argv, const std::string& listFile) {
    std::ifstream in(listFile);
    std::string extraCa, base, parallel;
    std::getline(in, extraCa);
    std::getline(in, base);
    std::getline(in, parallel);

    // The window is real but shown nowhere: the labels are set and painted as on a screen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    using namespace dravik;
    QtMainThread mainThread;
    QtAlerts alerts(mainThread);
    ThreadWorkers workers;
    PosixProcesses processes;
    SystemServices system = makeSystemServices();
    QtDesktop desktop(*system.displaySettings);
    QtAudioPlayer audio;
    CurlHttp http(mainThread, extraCa);
    Platform platform{alerts,
                      mainThread,
                      workers,
                      http,
                      processes,
                      desktop,
                      *system.runningApplications,
                      *system.windows,
                      *system.fileFlags,
                      audio,
                      *system.diskSync,
                      *system.activity,
                      system.bundle};
    Launcher launcher(platform, base + "/private", base, "https://service.invalid");
    launcher.timings.pollInterval = std::chrono::milliseconds(1);
    launcher.ini = Ini::parse("Parallel_Downloads=" + parallel);
    launcher.exitProcess = [] {
        QCoreApplication::exit(1);
    };
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string booth, url, target;
        std::getline(fields, booth, '\t');
        std::getline(fields, url, '\t');
        std::getline(fields, target);
        fs::path path(target);
        DownloadList& list = launcher.downloadList;
        if (list.empty() || list.back().path != path.parent_path().string())
            list.push_back({std::atoll(booth.c_str()), path.parent_path().string(), "bench", {}});
        list.back().downloadFileList.push_back({path.filename().string(), url});
    }

    Storyboard storyboard;
    storyboard.add("DravikToDownload", Storyboard::Presentation::ReplaceView,
                   [](Launcher& launcher, WindowController& window) -> QWidget* {
                       return new ViewControllerDownload(launcher, window);
                   });
    WindowController window(launcher, storyboard);
    Clock::time_point start;
    QObject::connect(&window, &WindowController::viewChanged, [&] { start = Clock::now(); });
    window.show();
    if (!window.performSegue("DravikToDownload"))
        return 1;
    int status = QApplication::exec();
    double seconds = secondsSince(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
    std::fflush(stdout);
    // The engine, the workers and Qt end with the process, as the launcher's do.
    std::_Exit(status);
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
// The two clients

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

// The base folder of an app run: a stand-in viewer in Exhibition, which sleeps until it is ended.
fs::path makeBase(const fs::path& work) {
    fs::path base = work / "app-base";
    fs::path viewer = base / "Exhibition/Kestrane.app/Contents/MacOS/Kestrane";
    fs::create_directories(viewer.parent_path());
    fs::create_directories(base / "private");
    std::ofstream(viewer)
        << "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 3600 </dev/null >/dev/null 2>&1\n";
    fs::permissions(viewer, fs::perms::owner_all);
    return base;
}

void endViewer(const fs::path& base) {
    std::ifstream in(base / "Exhibition/Kestrane.app/Contents/MacOS/Kestrane.pid");
    pid_t pid = 0;
    if (in >> pid && pid > 0)
        kill(pid, SIGTERM);
}

Measure measureDravik(const char* self, const std::string& token, const std::string& extraCa,
                      const Case& c, const std::vector<Item>& items, const fs::path& work) {
    fs::path list = work / "dravik-list.txt";
    fs::path base = c.booths > 0 ? makeBase(work) : fs::path();
    {
        std::ofstream out(list, std::ios::trunc);
        if (c.booths > 0) {
            out << extraCa << "\n" << base.string() << "\n" << c.parallel << "\n";
            for (size_t i = 0; i < items.size(); ++i)
                out << i * c.booths / items.size() << "\t" << items[i].url << "\t"
                    << items[i].target.string() << "\n";
        } else {
            out << token << "\n" << extraCa << "\n";
            for (const auto& item : items)
                out << item.url << "\t" << item.target.string() << "\n";
        }
    }
    Child child = spawn({self, c.booths > 0 ? "--app" : "--dravik", list.string()}, true);
    std::string output = readAll(child.output);
    Measure measure;
    long childPeak = 0;
    int status = finish(child.pid, &childPeak);
    std::istringstream(output) >> measure.seconds >> measure.peakKiB;
    measure.ok = status == 0 && verify(items);
    if (c.booths > 0)
        endViewer(base);
    return measure;
}

Measure measureCurl(const std::string& token, const Case& c, const std::vector<Item>& items,
                    const std::string& caBundle, const fs::path& work) {
    const std::string header = "Authorization: Bearer " + token;
    Measure measure{0, 0, true};
    auto start = Clock::now();
    // One process for the whole list: curl fetches the URLs one after another over one
    // connection.
    fs::path config = work / "curl-list.txt";
    {
        std::ofstream out(config, std::ios::trunc);
        for (const auto& item : items)
            out << "url = \"" << item.url << "\"\noutput = \"" << item.target.string() << "\"\n";
    }
    std::vector<std::string> arguments = {"/usr/bin/curl", "-sS",    "--fail", "--create-dirs",
                                          "--cacert",      caBundle, "-H",     header};
    if (c.parallel > 1)
        arguments.insert(arguments.end(),
                         {"--parallel", "--parallel-max", std::to_string(c.parallel)});
    arguments.insert(arguments.end(), {"-K", config.string()});
    Child curl = spawn(arguments, false);
    measure.ok = finish(curl.pid, &measure.peakKiB) == 0;
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

void report(const std::string& name, const Measure& dravik, const Measure& curl) {
    std::printf("%-34s %9.3f s %9.3f s %7.2f   %10s %s\n", name.c_str(), dravik.seconds,
                curl.seconds, curl.seconds > 0 ? dravik.seconds / curl.seconds : 0.0,
                mib(dravik.peakKiB).c_str(), dravik.ok && curl.ok ? "" : "  (FAILED: see above)");
    std::fflush(stdout);
}

// "LABEL|BASE-URL|FOLDER|COUNT|BYTES"
Case parseCase(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, '|');)
        parts.push_back(part);
    if (parts.size() != 5 && parts.size() != 7)
        fail("a case is LABEL|BASE-URL|FOLDER|COUNT|BYTES[|BOOTHS|PARALLEL]: " + text);
    Case c{parts[0], parts[1], parts[2], std::atoi(parts[3].c_str()), std::atoll(parts[4].c_str())};
    if (parts.size() == 7) {
        c.booths = std::max(1, std::atoi(parts[5].c_str()));
        c.parallel = std::clamp(std::atoi(parts[6].c_str()), 1, 8);
    }
    return c;
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
        else if (option == "--work")
            options.work = value();
        else if (option == "--extra-ca")
            options.extraCa = value();
        else if (option == "--curl-ca")
            options.curlCa = value();
        else if (option == "--case")
            options.cases.push_back(parseCase(value()));
        else
            fail("unknown option " + option +
                 " (options: --extra-ca FILE --curl-ca FILE --work FOLDER --case "
                 "\"LABEL|BASE-URL|FOLDER|COUNT|BYTES\" --runs N)");
    }
    if (options.work.empty() || options.extraCa.empty() || options.curlCa.empty() ||
        options.cases.empty())
        fail("--work, --extra-ca, --curl-ca and at least one --case are needed");
    return options;
}

std::vector<Item> itemsOf(const Case& c, const fs::path& folder) {
    std::vector<Item> items;
    for (int i = 0; i < c.count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%05d", i);
        fs::path target = folder / name;
        if (c.booths > 0)
            target = folder / std::to_string(static_cast<int64_t>(i) * c.booths / c.count) / name;
        items.push_back({c.baseUrl + "/" + c.folder + "/" + name, target, c.bytes});
    }
    return items;
}

// Every run writes into a folder of its own. Large files are removed right after their run, to
// spare the disk; many small ones stay until every case has run. Removing thousands of files
// makes the next thousands of creations slow on a file system without a journal (ext4 skips
// every inode freed in the last minute), which would charge one client for the other's files.
void removeIfFew(const Case& c, const fs::path& folder) {
    if (c.count < 100)
        fs::remove_all(folder);
}

int runBenchmark(int argc, char** argv) {
    Options options = parse(argc, argv);
    const std::string token = "bench-token";
    std::printf("%-34s %11s %11s %7s   %10s\n", "case (median of runs)", "launcher", "curl",
                "ratio", "peak RSS");
    int status = 0;
    for (size_t c = 0; c < options.cases.size(); ++c) {
        const Case& one = options.cases[c];
        fs::path received = options.work / ("received-" + std::to_string(c));
        std::vector<Measure> dravikRuns;
        std::vector<Measure> curlRuns;
        for (int run = 0; run < options.runs; ++run) {
            // Each run starts with nothing of the runs before waiting to be written to the disk.
            auto launcherRun = [&] {
                sync();
                fs::path folder = received / ("launcher-" + std::to_string(run));
                auto items = itemsOf(one, folder);
                dravikRuns.push_back(
                    measureDravik(argv[0], token, options.extraCa, one, items, options.work));
                removeIfFew(one, folder);
            };
            auto curlRun = [&] {
                sync();
                fs::path folder = received / ("curl-" + std::to_string(run));
                auto items = itemsOf(one, folder);
                curlRuns.push_back(measureCurl(token, one, items, options.curlCa, options.work));
                removeIfFew(one, folder);
            };
            // Turn about, so that neither client always finds the other's files just written.
            if (run % 2 == 0) {
                launcherRun();
                curlRun();
            } else {
                curlRun();
                launcherRun();
            }
        }
        Measure dravik = median(dravikRuns);
        Measure curl = median(curlRuns);
        report(one.label, dravik, curl);
        status |= dravik.ok && curl.ok ? 0 : 1;
    }
    for (size_t c = 0; c < options.cases.size(); ++c)
        fs::remove_all(options.work / ("received-" + std::to_string(c)));
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--dravik")
        return runDravik(argc, argv, argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--app")
        return runApp(argc, argv, argv[2]);
    // The program needs its own path to start the launcher's side as a child.
    if (std::string(argv[0]).find('/') == std::string::npos)
        fail("start it with a path, for example ./dravik_download_bench");
    return runBenchmark(argc, argv);
}
