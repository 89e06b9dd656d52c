#include "system/posix/PosixProcesses.h"

#include "support/Fakes.h"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace dravik::test {
namespace {

// A started program sees standard input, output and error and what it is handed (the private
// copy's lock), never the launcher's other descriptors, close-on-exec or not (libcurl's wake-up
// pair is not).
TEST(PosixProcesses, AStartedProgramGetsOnlyWhatItIsMeantToGet) {
    TempFolder temp;
    const std::string lockPath = temp / "Dravik.lock";
    int leaked[2];
    ASSERT_EQ(::pipe(leaked), 0);
    int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    const std::string listing = temp / "fds.txt";
    // Descriptors of the shell itself; the one its glob opened is gone by the test.
    const std::string script = "exec > " + listing +
                               "; for f in /proc/$$/fd/*; do [ -e \"$f\" ] && printf '%s ' "
                               "\"${f##*/}\"; done; [ -e /proc/$$/fd/3 ] && readlink "
                               "/proc/$$/fd/3; true";
    struct Case {
        const char* name;
        bool detached;
        std::vector<int> inherited;
        std::string expected;
    };
    const Case cases[] = {
        {"run and wait", false, {}, "0 1 2 "},
        {"detached", true, {}, "0 1 2 "},
        {"detached with the lock", true, {lock}, "0 1 2 3 " + lockPath + "\n"},
    };
    PosixProcesses processes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(listing);
        if (c.detached) {
            std::atomic<bool> ended{false};
            ASSERT_TRUE(processes.startDetached(
                "/bin/sh", {"-c", script}, [&] { ended = true; }, c.inherited));
            for (int poll = 0; poll < 1000 && !ended; ++poll)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ASSERT_TRUE(ended);
        } else {
            Expected<int> status = processes.run("/bin/sh", {"-c", script});
            ASSERT_TRUE(status) << status.error();
            EXPECT_EQ(*status, 0);
        }
        EXPECT_EQ(readFile(listing), c.expected);
    }
    ::close(leaked[0]);
    ::close(leaked[1]);
    ::close(lock);
}

} // namespace
} // namespace dravik::test
