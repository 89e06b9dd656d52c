#include "common/Leftovers.h"

#include "common/File.h"
#include "common/Launcher.h"
#include "common/PartialDownload.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <signal.h>

namespace dravik {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, 4> kPurposes = {"tmp", "copy", "old", "discard"};
constexpr std::string_view kDownloadPrefix = ".download-";
constexpr size_t kDownloadSuffixLength = 6; // mkstemp's XXXXXX

bool processIsGone(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The number that ends text after the last '-', which it removes; nullopt when there is none.
std::optional<long> takeNumber(std::string& text) {
    size_t dash = text.rfind('-');
    if (dash == std::string::npos || dash + 1 == text.size())
        return std::nullopt;
    long value = 0;
    const char* first = text.data() + dash + 1;
    const char* last = text.data() + text.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || value < 0)
        return std::nullopt;
    text.resize(dash);
    return value;
}

bool isOlderThan(const fs::path& path, std::chrono::hours age) {
    std::error_code error;
    auto written = fs::last_write_time(path, error);
    return !error && fs::file_time_type::clock::now() - written > age;
}

} // namespace

std::optional<Leftovers::TemporaryName> Leftovers::parse(const std::string& fileName) {
    if (fileName.size() < 2 || fileName[0] != '.')
        return std::nullopt;
    std::string rest = fileName.substr(1);
    if (!takeNumber(rest))
        return std::nullopt;
    std::optional<long> pid = takeNumber(rest);
    if (!pid || *pid == 0)
        return std::nullopt;
    size_t dot = rest.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return std::nullopt;
    std::string purpose = rest.substr(dot + 1);
    for (const char* known : kPurposes)
        if (purpose == known)
            return TemporaryName{rest.substr(0, dot), purpose, *pid};
    return std::nullopt;
}

int Leftovers::sweep(const std::string& folder) const {
    int handled = 0;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    // Originals go back before the copies that were to replace them are removed.
    std::stable_partition(names.begin(), names.end(), [](const std::string& name) {
        auto temp = parse(name);
        return temp && temp->purpose == "old";
    });
    for (const std::string& name : names) {
        const std::string path = File::join(folder, name);
        if (auto temp = parse(name)) {
            if (processIsGone(temp->pid))
                handle(folder, name, *temp, handled);
        } else if (((name.size() == kDownloadPrefix.size() + kDownloadSuffixLength &&
                     name.compare(0, kDownloadPrefix.size(), kDownloadPrefix) == 0) ||
                    PartialDownload::isPartialName(name)) &&
                   isOlderThan(path, kPartialDownloadLifetime)) {
            Status removed = m_launcher.file.removeUnlocked(path);
            m_launcher.writeLog("Leftover " + path + ": partial download older than 7 days " +
                                (removed ? "removed" : "not removed: " + removed.error()));
            ++handled;
        }
    }
    return handled;
}

void Leftovers::handle(const std::string& folder, const std::string& name,
                       const TemporaryName& temp, int& handled) const {
    const std::string path = File::join(folder, name);
    const std::string item = File::join(folder, temp.item);
    ++handled;
    if (temp.purpose == "old" && !File::isPresent(item)) {
        std::error_code error;
        fs::rename(path, item, error);
        m_launcher.writeLog(
            "Leftover " + path + ": " +
            (error ? "could not move it back: " + error.message() : "moved back to " + temp.item));
        return;
    }
    Status removed = m_launcher.file.removeUnlocked(path);
    m_launcher.writeLog("Leftover " + path + ": " +
                        (removed ? std::string("removed") : "not removed: " + removed.error()));
}

} // namespace dravik
