// After a kill, a start clears up what the killed launcher's file operations left behind, and
// nothing that a running process is still writing or that a later run may resume.

#include "common/Leftovers.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace dravik {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

pid_t endedProcess() {
    pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST(LeftoversTest, WhatAKilledLauncherLeftIsRemovedOrPutBack) {
    test::TestLauncher t;
    const std::string folder = t.privateFolder();
    const std::string gone = std::to_string(endedProcess());
    const std::string alive = std::to_string(getpid());
    auto at = [&](const std::string& name) {
        return folder + "/" + name;
    };

    writeFile(at(".Dravik.app.copy-" + gone + "-0/Contents/MacOS/Dravik"), "half a bundle");
    writeFile(at(".user.json.tmp-" + gone + "-3"), "half a write");
    writeFile(at(".hall.json.old-" + gone + "-1"), "the original, set aside");
    writeFile(at(".auth.json.old-" + gone + "-2"), "replaced meanwhile");
    writeFile(at("auth.json"), "the new one");
    writeFile(at(".code.json.tmp-" + alive + "-0"), "being written now");
    writeFile(at(".download-Ab12Cd"), "a partial download of today");
    writeFile(at(".download-Ef34Gh"), "a partial download of last month");
    fs::last_write_time(at(".download-Ef34Gh"),
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 30));
    writeFile(at(".hidden-file"), "not ours");
    writeFile(at(".x.tmp-notanumber-0"), "not ours either");

    EXPECT_EQ(Leftovers(*t.launcher).sweep(folder), 5);

    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder))
        left.insert(entry.path().filename().string());
    left.erase("Dravik_log.txt");
    EXPECT_EQ(left,
              (std::set<std::string>{"hall.json", "auth.json", ".code.json.tmp-" + alive + "-0",
                                     ".download-Ab12Cd", ".hidden-file", ".x.tmp-notanumber-0"}));
    EXPECT_EQ(readFile(at("hall.json")), "the original, set aside");
    EXPECT_EQ(readFile(at("auth.json")), "the new one");
    EXPECT_EQ(t.logLines().size(), 5u);
}

} // namespace
} // namespace dravik
