// The substitute exhibition service as a program, for the demo and for trying the launcher by hand.
//
//   exhibition-service [--port N] [--data FOLDER] [--cert PEM] [--key PEM] [--release FOLDER]
//                      [--quiet]
//
// The first line on standard output is the port it listens on (useful with --port 0). It runs until
// it receives SIGINT or SIGTERM.

#include "ExhibitionService.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <string>

namespace {

int usage(const char* program) {
    std::cerr << "usage: " << program
              << " [--port N] [--data FOLDER] [--cert PEM] [--key PEM] [--release FOLDER]"
                 " [--quiet]\n";
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
    std::cout << service.port() << std::endl;
    std::cerr << "exhibition-service: serving " << options.dataFolder << " at " << service.baseUrl()
              << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
