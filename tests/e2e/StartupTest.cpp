// The real two-process start: the built starter copies the bundle into the private folder and
// hands over to the copy through the marker file.

#include "common/File.h"
#include "support/Fakes.h"
#include "support/SystemTesting.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace dravik {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::ElementsAre;

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Every character a shell would treat specially, in the base folder's path.
        base = temp / "base \"quoted\" $HOME `tick` back\\slash";
        fs::create_directories(base + "/Exhibition");
        fs::create_directories(temp / "home");
        fs::copy(DRAVIK_BUNDLE_DIR, base + "/Dravik.app", fs::copy_options::recursive);
    }

    void TearDown() override {
        for (pid_t pid : m_started)
            ::kill(pid, SIGKILL);
        if (pid_t copy = privateCopyPid(); copy > 0) {
            ::kill(copy, SIGKILL);
        }
        for (pid_t pid : m_started)
            ::waitpid(pid, nullptr, 0);
    }

    std::string privateFolder() const { return temp / "home/.local/share/Dravik"; }
    std::string starter() const { return base + "/Dravik.app/Contents/MacOS/Dravik"; }

    // Starts the starter as a visitor would: no arguments, a fresh HOME, no display.
    pid_t startStarter() {
        std::vector<std::string> env = {"HOME=" + temp / "home", "QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + temp / "home", "LC_ALL=C.UTF-8",
                                        "PATH=/usr/bin:/bin"};
        std::vector<char*> envp;
        for (auto& entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = starter();
        char* argv[] = {program.data(), nullptr};
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
        m_started.push_back(pid);
        return pid;
    }

    // Waits for the process to exit; its exit status, or -1 when it is still running.
    int waitForExit(pid_t pid, std::chrono::milliseconds limit) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(m_started, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    bool waitForLogLine(const std::string& text, std::chrono::milliseconds limit) {
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            auto lines = test::runLogLines(privateFolder());
            if (std::find(lines.begin(), lines.end(), text) != lines.end())
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // The private copy's process id, found by its executable path.
    pid_t privateCopyPid() const {
        return test::processOfExecutable(privateFolder() + "/Dravik.app/Contents/MacOS/Dravik");
    }

    // Log entries of one process, in order, with the process id prefix removed.
    std::vector<std::string> linesOf(pid_t pid) const {
        std::vector<std::string> lines;
        std::istringstream in(test::readFile(privateFolder() + "/Dravik_log.txt"));
        std::string line, prefix = "(id:" + std::to_string(pid) + ")";
        while (std::getline(in, line)) {
            auto at = line.find(prefix);
            if (at != std::string::npos)
                lines.push_back(line.substr(at + prefix.size()));
        }
        return lines;
    }

    test::TempFolder temp;
    std::string base;

private:
    std::vector<pid_t> m_started;
};

TEST_F(StartupTest, StarterHandsOverToThePrivateCopy) {
    pid_t starter = startStarter();
    ASSERT_EQ(waitForExit(starter, 20s), 0);

    std::string marker = privateFolder() + "/double_startup_check";
    EXPECT_THAT(linesOf(starter),
                ElementsAre("Dravik Start", this->starter(), "createFile(" + marker + ")->OK",
                            "WaitDravik Start", "WaitDravik End", "exit(0)"));
    EXPECT_TRUE(File::exists(privateFolder() + "/Dravik.app/Contents/Resources/7zz"));
    EXPECT_FALSE(File::exists(marker));

    pid_t copy = privateCopyPid();
    ASSERT_GT(copy, 0) << "the private copy is not running";
    ASSERT_TRUE(waitForLogLine("Dravik.viewDidLoad", 20s));
    // The base folder reached the copy unchanged, quotes, dollar, backquote and all.
    EXPECT_THAT(linesOf(copy), Contains("TargetPath=" + base));
    EXPECT_THAT(linesOf(copy), Contains("deleteFile(" + marker + ")->OK"));
}

TEST_F(StartupTest, SecondStarterIsRefusedWithTheIniText) {
    test::writeFile(base + "/Exhibition/Dravik.ini",
                    test::utf16le("; demo\r\nMSG13=Dravik は起動中です\r\n"));
    pid_t first = startStarter();
    ASSERT_EQ(waitForExit(first, 20s), 0);
    ASSERT_TRUE(waitForLogLine("Dravik.viewDidLoad", 20s));

    pid_t second = startStarter();
    EXPECT_TRUE(waitForLogLine("Dravik は起動中です", 20s));
    // The refusal waits for the visitor to close its alert; there is nobody to do so here.
    ::kill(second, SIGKILL);
    waitForExit(second, 5s);
    EXPECT_THAT(linesOf(second), Contains("Dravik は起動中です"));
    EXPECT_THAT(linesOf(second), ::testing::Not(Contains("WaitDravik Start")));
}

TEST_F(StartupTest, TwoStartsAtOnceOpenExactlyOneWindow) {
    pid_t first = startStarter();
    pid_t second = startStarter();
    ASSERT_TRUE(waitForLogLine("Dravik.viewDidLoad", 20s));
    ASSERT_TRUE(waitForLogLine("既に起動しています", 20s));
    // The loser refused before copying anything; the winner's starter ends after the hand-over.
    auto refused = [this](pid_t pid) {
        auto lines = linesOf(pid);
        return std::find(lines.begin(), lines.end(), "既に起動しています") != lines.end();
    };
    pid_t winner = refused(first) ? second : first;
    EXPECT_FALSE(refused(winner));
    EXPECT_EQ(waitForExit(winner, 20s), 0);
    auto lines = test::runLogLines(privateFolder());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Dravik.viewDidLoad"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "既に起動しています"), 1);
}

} // namespace
} // namespace dravik
