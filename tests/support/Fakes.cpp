#include "support/Fakes.h"

#include "common/Unicode.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace dravik::test {

namespace fs = std::filesystem;

void FakeAlerts::critical(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
}

bool FakeAlerts::criticalOkCancel(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_texts.push_back(text);
    return nextAnswer();
}

bool FakeAlerts::informationalOkCancel(const std::string& text) {
    return criticalOkCancel(text);
}

void FakeAlerts::answerNext(bool ok) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(ok);
}

std::vector<std::string> FakeAlerts::texts() const {
    std::lock_guard lock(m_mutex);
    return m_texts;
}

bool FakeAlerts::nextAnswer() {
    if (m_answers.empty())
        return true;
    bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

Expected<HttpResponse> NoHttp::request(const HttpRequest&) {
    return fail("no network in this test");
}

std::unique_ptr<Transfer> NoHttp::download(const HttpRequest&, const std::string&,
                                           TransferReceiver receiver) {
    if (receiver.completed && !receiver.context.expired())
        receiver.completed({std::nullopt, "no network in this test", {}});
    return nullptr;
}

Expected<int> RecordingProcesses::run(const std::string& program,
                                      const std::vector<std::string>& args,
                                      const std::string& workingFolder) {
    calls.push_back({program, args, workingFolder, {}});
    if (program == unstartable)
        return fail("cannot start " + program);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return fail(std::strerror(rc));
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Status RecordingProcesses::startDetached(const std::string& program,
                                         const std::vector<std::string>& args,
                                         std::function<void()> onExit,
                                         const std::vector<int>& inherited) {
    calls.push_back({program, args, {}, inherited});
    lastOnExit = std::move(onExit);
    if (!startError.empty())
        return fail(startError);
    return Status::ok();
}

std::vector<WindowInfo> FakeDesktop::windowsFrontToBack() {
    ++scans;
    if (windowScans.empty())
        return {};
    size_t index = std::min<size_t>(static_cast<size_t>(scans - 1), windowScans.size() - 1);
    return windowScans[index];
}

bool FakeDesktop::activate(int32_t pid) {
    if (!runningPids.count(pid))
        return false;
    activated.push_back(pid);
    return true;
}

bool FakeDesktop::openUrl(const std::string& url) {
    if (url.find("://") == std::string::npos)
        return false;
    openedUrls.push_back(url);
    return true;
}

Status FakeFileFlags::copyTree(const std::string& source, const std::string& destination) {
    std::error_code error;
    std::filesystem::copy(source, destination,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks,
                          error);
    if (error)
        return fail(error.message());
    return Status::ok();
}

std::unique_ptr<BackgroundActivity::Hold> FakeActivity::begin(const std::string& reason) {
    struct CountedHold : Hold {
        explicit CountedHold(std::shared_ptr<int> count) : count(std::move(count)) {
            ++*this->count;
        }
        ~CountedHold() override { --*count; }
        std::shared_ptr<int> count;
    };
    reasons.push_back(reason);
    return std::make_unique<CountedHold>(held);
}

bool FakeFileFlags::isImmutable(const std::string& path) {
    return m_flagged.count(path) > 0;
}

Status FakeFileFlags::setImmutable(const std::string& path, bool on) {
    std::error_code error;
    if (!fs::exists(path, error))
        return fail("No such file or directory");
    auto perms = on ? fs::perms::owner_read : fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(path, perms, error);
    if (error)
        return fail(error.message());
    if (on)
        m_flagged.insert(path);
    else
        m_flagged.erase(path);
    return Status::ok();
}

void FakeAudioPlayer::play(const std::string& file, double volume) {
    playing = file;
    this->volume = volume;
    played.push_back(file);
}

void FakeAudioPlayer::stop() {
    playing.clear();
    ++stops;
}

TempFolder::TempFolder() {
    const char* root = std::getenv("TMPDIR");
    std::string pattern = std::string(root && *root ? root : "/tmp") + "/dravik-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    m_path = buffer.data();
}

TempFolder::~TempFolder() {
    std::error_code error;
    // Folders made read-only by a test must be writable again before they can be removed.
    for (auto it = fs::recursive_directory_iterator(m_path, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        else if (!it->is_symlink(ignored))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(m_path, error);
}

LauncherFakes::LauncherFakes() {
    fs::create_directories(base() + "/Exhibition");
    fs::create_directories(privateFolder());
    fs::create_directories(resources());
}

void LauncherFakes::build(MainThread& mainThread, Workers& workers, Http& client,
                          const std::string& serviceBaseUrl, const std::string& buildNumber,
                          std::chrono::milliseconds pollInterval) {
    launcher.reset();
    platform.reset(new Platform{alerts, mainThread, workers, client, processes, desktop, desktop,
                                desktop, fileFlags, audio, diskSync, activity,
                                BundleInfo{bundle(), resources(), "1.0.0", buildNumber}});
    launcher = std::make_unique<Launcher>(*platform, privateFolder(), base(), serviceBaseUrl);
    launcher->timings.pollInterval = pollInterval;
    launcher->exitProcess = [this] {
        ++exits;
    };
}

std::string LauncherFakes::exhibition(const std::string& relative) const {
    return relative.empty() ? base() + "/Exhibition" : base() + "/Exhibition/" + relative;
}

std::vector<std::string> LauncherFakes::logLines() const {
    return runLogLines(privateFolder());
}

TestLauncher::TestLauncher(std::string serviceBaseUrl)
    : m_serviceBaseUrl(std::move(serviceBaseUrl)) {
    useHttp(noHttp);
}

void TestLauncher::useHttp(Http& client) {
    http = &client;
    build(mainThread, workers, client, m_serviceBaseUrl, "1", std::chrono::milliseconds(1));
}

std::vector<std::string> runLogLines(const std::string& privateFolder) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(privateFolder + "/Dravik_log.txt"));
    std::string line;
    while (std::getline(in, line)) {
        auto close = line.find(')');
        if (line.rfind("[", 0) == 0 && close != std::string::npos)
            lines.push_back(line.substr(close + 1));
        else if (!lines.empty())
            lines.back() += "\n" + line; // continuation of a multi-line entry
    }
    return lines;
}

void writeFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::map<std::string, std::string> snapshotTree(const std::string& root,
                                                const std::vector<std::string>& excluded,
                                                bool withPermissions) {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string path = it->path().string();
        if (std::find(excluded.begin(), excluded.end(), path) != excluded.end()) {
            it.disable_recursion_pending();
            continue;
        }
        auto status = it->symlink_status();
        std::ostringstream line;
        line << static_cast<int>(status.type());
        if (withPermissions)
            line << " " << static_cast<int>(status.permissions());
        if (fs::is_regular_file(status))
            line << " " << fs::file_size(it->path(), error) << " "
                 << std::chrono::duration_cast<std::chrono::nanoseconds>(
                        fs::last_write_time(it->path(), error).time_since_epoch())
                        .count();
        entries[path] = line.str();
    }
    return entries;
}

std::string utf16le(const std::string& utf8, bool withBom) {
    std::u16string wide = utf8ToUtf16(utf8);
    std::string bytes = withBom ? std::string("\xFF\xFE", 2) : std::string();
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

} // namespace dravik::test
