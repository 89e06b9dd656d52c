#include "exhibition/BoothStamps.h"

#include "common/File.h"
#include "common/RecordCoding.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dravik {

namespace {

// Below this many entries a second thread costs more than it saves.
constexpr size_t kEntriesPerThread = 512;

struct Entry {
    std::string name;
    std::string stamp;
};

std::vector<Entry> listEntries(int folderFd) {
    std::vector<Entry> entries;
    int listFd = ::dup(folderFd);
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

std::string readStamp(int folderFd, const std::string& name) {
    Expected<std::string> bytes = File::readAllAt(folderFd, name + "/updated_at.json");
    if (!bytes)
        return {};
    auto stamp = decodeRecord<QZ_UPDATED_AT>(*bytes);
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

std::string BoothStamps::stampOf(const std::string& boothFolderName) const {
    auto found = m_stamps.find(boothFolderName);
    return found == m_stamps.end() ? std::string() : found->second;
}

} // namespace dravik
