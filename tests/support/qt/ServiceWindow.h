#pragma once

// A main window over a launcher context that talks HTTPS to the substitute service.

#include "app/Storyboard.h"
#include "app/WindowController.h"
#include "support/ServiceFixture.h"
#include "support/qt/UiTesting.h"

#include <memory>
#include <string>

namespace dravik::test {

struct ServiceWindow {
    // Starts the service and makes the launcher context over it, trusting the service's CA;
    // the service's error, if any.
    std::string startService() {
        std::string error = service.start();
        ui = std::make_unique<UiLauncher>(service.url(""), kTestCa);
        return error;
    }

    ServiceFixture service;
    std::unique_ptr<UiLauncher> ui;
    Storyboard storyboard;
    std::unique_ptr<WindowController> window;
};

} // namespace dravik::test
