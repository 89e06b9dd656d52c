// The release archive is stored in the private folder under the last path component of the
// published record's file_url. The input is that URL. An accepted name must be one plain name that
// is none of the launcher's own items, and the path must stay directly in the private folder.

#include "FuzzCheck.h"
#include "common/Launcher.h"
#include "common/SafePath.h"
#include "common/Unicode.h"
#include "platform/Alerts.h"
#include "platform/AudioPlayer.h"
#include "platform/BackgroundActivity.h"
#include "platform/Desktop.h"
#include "platform/DiskSync.h"
#include "platform/FileFlags.h"
#include "platform/Http.h"
#include "platform/MainThread.h"
#include "platform/Processes.h"
#include "platform/RunningApplications.h"
#include "platform/WindowList.h"
#include "platform/Workers.h"
#include "update/ReleaseArchive.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace dravik;

namespace {

// The name check touches no platform service; these only complete the launcher context.
struct Unused : Alerts,
                MainThread,
                Workers,
                Http,
                Processes,
                Desktop,
                RunningApplications,
                WindowList,
                FileFlags,
                AudioPlayer,
                DiskSync,
                BackgroundActivity {
    void critical(const std::string&) override {}
    bool criticalOkCancel(const std::string&) override { return false; }
    bool informationalOkCancel(const std::string&) override { return false; }
    bool isCurrent() const override { return true; }
    void post(std::function<void()>) override {}
    void postAndWait(std::function<void()>) override {}
    void run(std::function<void()>) override {}
    Expected<HttpResponse> request(const HttpRequest&) override { return fail("no network"); }
    std::unique_ptr<Transfer> download(const HttpRequest&, const std::string&,
                                       TransferReceiver) override {
        return nullptr;
    }
    Expected<int> run(const std::string&, const std::vector<std::string>&,
                      const std::string&) override {
        return fail("no programs are started here");
    }
    Status startDetached(const std::string&, const std::vector<std::string>&, std::function<void()>,
                         const std::vector<int>&) override {
        return Status::ok();
    }
    std::vector<std::string> names() override { return {}; }
    std::vector<int> processesRunning(const std::string&) override { return {}; }
    std::vector<WindowInfo> windowsFrontToBack() override { return {}; }
    bool activate(int32_t) override { return false; }
    bool openUrl(const std::string&) override { return false; }
    void openDisplaySettings() override {}
    std::pair<int, int> mainDisplaySize() override { return {0, 0}; }
    bool isImmutable(const std::string&) override { return false; }
    Status setImmutable(const std::string&, bool) override { return Status::ok(); }
    Status copyTree(const std::string&, const std::string&) override { return fail("unused"); }
    Status syncFiles(const std::vector<std::string>&) override { return Status::ok(); }
    std::unique_ptr<Hold> begin(const std::string&) override { return nullptr; }
    void play(const std::string&, double) override {}
    void setVolume(double) override {}
    void stop() override {}
    bool isPlaying() const override { return false; }
};

const std::string kPrivate = "/home/visitor/Library/Dravik";

const char* const kOwnItems[] = {"dravik_log.txt", "double_startup_check",
                                 "dravik.lock",    "dravik.app",
                                 "extract",        "auth.json",
                                 "code.json",      "mail.json",
                                 "hall.json",      "version_mac.json"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Unused unused;
    static Platform platform{
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        unused,
        BundleInfo{"/b/Dravik.app", "/b/Dravik.app/Contents/Resources", "1", "1"}};
    static Launcher launcher(platform, kPrivate, "/base", "https://127.0.0.1");

    const std::string url(reinterpret_cast<const char*>(data), size);
    auto path = ReleaseArchive::pathFor(launcher, url);
    if (!path) {
        FUZZ_CHECK(!path.error().empty());
        return 0;
    }
    FUZZ_CHECK(path->compare(0, kPrivate.size() + 1, kPrivate + "/") == 0);
    const std::string name = path->substr(kPrivate.size() + 1);
    FUZZ_CHECK(isSafeName(name, NameKind::PlainName));
    const std::string lower = asciiLower(name);
    for (const char* item : kOwnItems)
        FUZZ_CHECK(lower != item);
    FUZZ_CHECK(ReleaseArchive::checkPath(launcher, *path));
    auto again = ReleaseArchive::fileName(url);
    FUZZ_CHECK(again.hasValue() && *again == name);
    return 0;
}
