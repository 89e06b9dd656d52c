#pragma once

// Shared by the tests that talk to the substitute service (integration, views, soak, security,
// threads): the Qt event loop that carries main-thread work, and the service over a private copy
// of its demo data.

#include "ExhibitionService.h"
#include "support/Fakes.h"

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace dravik::test {

inline const std::string kCertificates = EXHIBITION_SERVICE_CERT_DIR;
inline const std::string kTestCa = kCertificates + "/ca.pem";

// The process's Qt application, made on first use by the thread that runs the tests.
inline void ensureQtApplication() {
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "dravik_integration_tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }
}

// Runs main-thread work until done() holds or the limit has passed; returns done().
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

inline void pumpFor(std::chrono::milliseconds duration) {
    pumpUntil([] { return false; }, duration);
}

// A fault that answers with the given status, and the given body instead of the real one.
inline substitute::Fault answer(int status, std::optional<std::string> body = std::nullopt) {
    substitute::Fault fault;
    fault.status = status;
    fault.body = std::move(body);
    return fault;
}

// The substitute service on a free loopback port, serving a copy of the demo data that a test may
// change before start().
class ServiceFixture {
public:
    explicit ServiceFixture(const std::string& certificate = "server")
        : m_data(m_temp / "data"), m_service(options(m_data, certificate)) {
        std::filesystem::copy(EXHIBITION_SERVICE_DATA_DIR, m_data,
                              std::filesystem::copy_options::recursive);
    }

    std::string start(int port = 0) { return m_service.start(port); }
    substitute::ExhibitionService& service() { return m_service; }
    const std::string& data() const { return m_data; }
    std::string url(const std::string& path) const { return m_service.baseUrl() + path; }

private:
    static substitute::ServiceOptions options(const std::string& data,
                                              const std::string& certificate) {
        substitute::ServiceOptions options;
        options.dataFolder = data;
        options.certificateFile = kCertificates + "/" + certificate + ".pem";
        options.keyFile = kCertificates + "/" + certificate + ".key";
        return options;
    }

    TempFolder m_temp;
    std::string m_data;
    substitute::ExhibitionService m_service;
};

} // namespace dravik::test
