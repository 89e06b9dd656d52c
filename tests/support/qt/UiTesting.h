#pragma once

// Shared by the view tests: a launcher context with the real main thread, workers and HTTPS client
// (pointed at the substitute service), fakes for alerts, desktop, file flags and audio, and
// helpers that run the event loop until something has happened.

#include "common/Launcher.h"
#include "support/Fakes.h"
#include "system/curl/CurlHttp.h"
#include "system/posix/ThreadWorkers.h"
#include "system/qt/QtMainThread.h"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace dravik {
class Storyboard;
}

namespace dravik::test {

// The update view behind "DravikToUpdate", going on through "UpdateToDownload" to an empty
// stand-in view named "Download".
void addUpdateRoad(Storyboard& storyboard);

// Runs the event loop until done() holds or the limit has passed; returns done().
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
void waitFor(std::chrono::milliseconds duration);

// The child widget of the given type and object name; fails the test when there is none.
template <typename T> T* child(QWidget* parent, const char* name) {
    T* found = parent->findChild<T*>(name);
    if (!found)
        ADD_FAILURE() << "no " << name;
    return found;
}

// A launcher context with the real main thread, workers and HTTPS client.
struct UiLauncher : LauncherFakes {
    // serviceBaseUrl: the substitute service's https://127.0.0.1:<port>; caBundle: its CA.
    explicit UiLauncher(const std::string& serviceBaseUrl = "https://127.0.0.1:1",
                        const std::string& caBundle = {});
    ~UiLauncher();
    UiLauncher(const UiLauncher&) = delete;
    UiLauncher& operator=(const UiLauncher&) = delete;

    QtMainThread mainThread;
    std::unique_ptr<ThreadWorkers> workers;
    std::unique_ptr<CurlHttp> http;
};

} // namespace dravik::test
