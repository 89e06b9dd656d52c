#include "system/linux/LinuxRunningApplications.h"

#include "ProcessProbe.h"
#include "app/Startup.h"
#include "system/linux/ProcFs.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace dravik {
namespace {

using namespace std::chrono_literals;

// Waits until the condition holds, at most a few seconds.
template <typename Condition> bool eventually(Condition condition) {
    for (int i = 0; i < 250; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

TEST(LinuxRunningApplications, CountsThisUsersLiveProcessesByExactNameOrDotApp) {
    test::ProcessProbe probe;
    LinuxRunningApplications applications;
    const std::string name = "DravikProbe" + std::to_string(getpid());
    const std::string program = probe.program(name);
    ASSERT_GT(probe.start(program), 0);
    ASSERT_GT(probe.start(probe.program(name + ".app")), 0);
    ASSERT_GT(probe.start(probe.program(name + "Other")), 0);
    ASSERT_TRUE(eventually([&] { return countRunningApplications(applications, name) == 2; }));

    // Letter case and prefixes are other names.
    EXPECT_EQ(countRunningApplications(applications, "dravikprobe" + std::to_string(getpid())), 0);
    EXPECT_EQ(countRunningApplications(applications, name.substr(0, name.size() - 1)), 0);

    // A process that has ended but was not reaped yet is no running application.
    pid_t ended = probe.start(program, {"0"});
    ASSERT_GT(ended, 0);
    ASSERT_TRUE(eventually([&] { return !procfs::isAlive(ended) && kill(ended, 0) == 0; }));
    EXPECT_EQ(countRunningApplications(applications, name), 2);

    // By executable: the same file, whatever name or link leads to it.
    const std::string link = program + "-link";
    std::filesystem::create_symlink(program, link);
    EXPECT_EQ(applications.processesRunning(link).size(), 1u);
    EXPECT_TRUE(applications.processesRunning(program + "Missing").empty());
}

TEST(LinuxRunningApplications, AnotherUsersProcessIsNotCounted) {
    if (geteuid() != 0)
        GTEST_SKIP() << "starting a process as another user needs root";
    test::ProcessProbe probe;
    LinuxRunningApplications applications;
    const std::string name = "DravikForeign" + std::to_string(getpid());
    pid_t foreign = probe.startAsUser(probe.program(name), 65534);
    ASSERT_GT(foreign, 0);
    ASSERT_TRUE(eventually([&] {
        return procfs::realUserId(foreign) == 65534u && procfs::processName(foreign) == name;
    })) << "the child did not become user 65534 running "
        << name;
    EXPECT_EQ(countRunningApplications(applications, name), 0);
}

} // namespace
} // namespace dravik
