// The substitute exhibition service as a program, for the demo and for trying the launcher by hand.
//
//   exhibition-service [--port N] [--data FOLDER] [--cert PEM] [--key PEM] [--release FOLDER]
//                      [--quiet] [--fault-seed N [--fault-rate P] [--fault-path PREFIX]...]
//                      [--pace MS]
//
// The first line on standard output is the port it listens on (useful with --port 0). It runs until
// it receives SIGINT or SIGTERM.

#include "ExhibitionService.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>

namespace {

int usage(const char* program) {
    std::cerr << "usage: " << program
              << " [--port N] [--data FOLDER] [--cert PEM] [--key PEM] [--release FOLDER]"
                 " [--quiet] [--fault-seed N [--fault-rate P] [--fault-path PREFIX]...]"
                 " [--pace MS]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    dravik::substitute::ServiceOptions options;
    options.dataFolder = EXHIBITION_SERVICE_DATA_DIR;
    options.certificateFile = std::string(EXHIBITION_SERVICE_CERT_DIR) + "/server.pem";
    options.keyFile = std::string(EXHIBITION_SERVICE_CERT_DIR) + "/server.key";
    options.echoRequests = true;
    int port = 0;
    std::chrono::milliseconds pace{0};
    std::optional<dravik::substitute::RandomFaults> randomFaults;
    auto faults = [&randomFaults]() -> dravik::substitute::RandomFaults& {
        if (!randomFaults)
            randomFaults.emplace();
        return *randomFaults;
    };
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--quiet") {
            options.echoRequests = false;
            continue;
        }
        if (i + 1 >= argc)
            return usage(argv[0]);
        std::string value = argv[++i];
        if (option == "--port") {
            char* end = nullptr;
            long number = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0' || number < 0 || number > 65535)
                return usage(argv[0]);
            port = static_cast<int>(number);
        } else if (option == "--data") {
            options.dataFolder = value;
        } else if (option == "--cert") {
            options.certificateFile = value;
        } else if (option == "--key") {
            options.keyFile = value;
        } else if (option == "--release") {
            options.releaseFolder = value;
        } else if (option == "--fault-seed") {
            char* end = nullptr;
            unsigned long long seed = std::strtoull(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0')
                return usage(argv[0]);
            faults().seed = seed;
        } else if (option == "--fault-rate") {
            char* end = nullptr;
            double rate = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(rate >= 0.0 && rate <= 1.0))
                return usage(argv[0]);
            faults().probability = rate;
        } else if (option == "--fault-path") {
            faults().pathPrefixes.push_back(value);
        } else if (option == "--pace") {
            char* end = nullptr;
            long milliseconds = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0' || milliseconds < 0 || milliseconds > 10000)
                return usage(argv[0]);
            pace = std::chrono::milliseconds(milliseconds);
        } else {
            return usage(argv[0]);
        }
    }

    // Every thread the server starts inherits the blocked signals; only sigwait receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    dravik::substitute::ExhibitionService service(options);
    if (std::string error = service.start(port); !error.empty()) {
        std::cerr << "exhibition-service: " << error << "\n";
        return 1;
    }
    if (randomFaults)
        service.setRandomFaults(*randomFaults);
    if (pace.count() > 0) {
        // Every file under files/ is sent in paced pieces, so that a download can be watched.
        namespace fs = std::filesystem;
        const fs::path files = fs::path(options.dataFolder) / "files";
        std::error_code error;
        for (fs::recursive_directory_iterator it(files, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_regular_file())
                continue;
            dravik::substitute::Fault paced;
            paced.pacing = pace;
            service.setFault("/files/" + it->path().lexically_relative(files).generic_string(),
                             paced);
        }
    }
    std::cout << service.port() << std::endl;
    std::cerr << "exhibition-service: serving " << options.dataFolder << " at " << service.baseUrl()
              << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
