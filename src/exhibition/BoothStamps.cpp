#include "exhibition/BoothStamps.h"

#include "common/RecordCoding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dravik {

namespace {

// Below this many entries a second thread costs more than it saves.
constexpr size_t kEntriesPerThread = 512;
constexpr size_t kStampBufferBytes = 4096;

struct Entry {
    std::string name;
    std::string stamp;
};

std::vector<Entry> listEntries(int folderFd) {
    std::vector<Entry> entries;
    int listFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (dir == nullptr) {
        if (listFd >= 0)
            ::close(listFd);
        return entries;
    }
    while (dirent* item = ::readdir(dir)) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
            entries.push_back({item->d_name, {}});
    }
    ::closedir(dir);
    return entries;
}

// The stamp as the launcher writes it, {"updated_at":"<text>"} with printable ASCII text and no
// escapes, read without building a JSON document; none for any other form, which the full
// decoder reads. For this form both yield the same text.
std::optional<std::string_view> compactStamp(std::string_view bytes) {
    constexpr std::string_view kOpening = R"({"updated_at":")";
    constexpr std::string_view kClosing = R"("})";
    if (bytes.size() < kOpening.size() + kClosing.size() || !bytes.starts_with(kOpening) ||
        !bytes.ends_with(kClosing))
        return std::nullopt;
    std::string_view text =
        bytes.substr(kOpening.size(), bytes.size() - kOpening.size() - kClosing.size());
    bool plain = std::all_of(text.begin(), text.end(),
                             [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
    return plain ? std::optional<std::string_view>(text) : std::nullopt;
}

// The whole file. A stamp is a few dozen bytes, so one read mostly gets it; a larger file is read
// on to its end, so that it is compared whole and never mistaken for a missing stamp.
std::optional<std::string> readWhole(int fd) {
    char buffer[kStampBufferBytes];
    std::string bytes;
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return bytes;
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

std::string readStamp(int folderFd, const std::string& name) {
    std::string path = name + "/updated_at.json";
    int fd = ::openat(folderFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::optional<std::string> bytes = readWhole(fd);
    ::close(fd);
    if (!bytes || bytes->empty())
        return {};
    std::string_view text(*bytes);
    if (auto compact = compactStamp(text))
        return std::string(*compact);
    auto stamp = decodeRecord<QZ_UPDATED_AT>(text);
    return stamp ? std::move(stamp->updated_at) : std::string();
}

void readStamps(int folderFd, Entry* first, Entry* last) {
    for (Entry* entry = first; entry != last; ++entry)
        entry->stamp = readStamp(folderFd, entry->name);
}

void readOnTwoThreads(int folderFd, Entry* begin, Entry* end) {
    Entry* middle = begin + (end - begin) / 2;
    std::thread other;
    try {
        other = std::thread([folderFd, middle, end] { readStamps(folderFd, middle, end); });
    } catch (const std::system_error&) {
        readStamps(folderFd, middle, end); // no thread to be had: this one reads them all
    }
    readStamps(folderFd, begin, middle);
    if (other.joinable())
        other.join();
}

} // namespace

BoothStamps BoothStamps::read(const std::string& hallFolder) {
    BoothStamps stamps;
    int folderFd = ::open(hallFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return stamps;
    std::vector<Entry> entries = listEntries(folderFd);
    Entry* begin = entries.data();
    Entry* end = begin + entries.size();
    if (entries.size() >= 2 * kEntriesPerThread) {
        readOnTwoThreads(folderFd, begin, end);
    } else {
        readStamps(folderFd, begin, end);
    }
    ::close(folderFd);
    for (Entry& entry : entries) {
        if (!entry.stamp.empty())
            stamps.m_stamps.emplace(std::move(entry.name), std::move(entry.stamp));
    }
    return stamps;
}

std::string BoothStamps::stampIn(const std::string& folder) {
    return readStamp(AT_FDCWD, folder);
}

std::string BoothStamps::stampOf(const std::string& boothFolderName) const {
    auto found = m_stamps.find(boothFolderName);
    return found == m_stamps.end() ? std::string() : found->second;
}

} // namespace dravik
