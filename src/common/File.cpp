#include "common/File.h"

#include "common/RemoveTree.h"
#include "common/Unicode.h"
#include "platform/Alerts.h"
#include "platform/FileFlags.h"
#include "platform/Processes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace fs = std::filesystem;

namespace {

// Linux names the modification time st_mtim, macOS st_mtimespec.
template <typename Stat> const timespec& modificationTime(const Stat& info) {
    if constexpr (requires { info.st_mtim; })
        return info.st_mtim;
    else
        return info.st_mtimespec;
}

void printError(const std::string& description) {
    std::cout << description << std::endl;
}

bool report(const std::error_code& error) {
    if (!error)
        return true;
    printError(error.message());
    return false;
}

} // namespace

bool File::exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool File::isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string File::join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool File::readAll(const std::string& path, std::string& bytes, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in || fs::is_directory(path)) {
        if (error)
            *error = std::strerror(in ? EISDIR : errno ? errno : ENOENT);
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        if (error)
            *error = std::strerror(errno ? errno : EIO);
        return false;
    }
    bytes = std::move(buffer).str();
    return true;
}

bool File::writeAll(const std::string& path, const std::string& bytes, std::string* error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        if (error)
            *error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    int savedErrno = errno;
    ok = (std::fclose(out) == 0) && ok;
    if (!ok && error)
        *error = std::strerror(savedErrno ? savedErrno : errno);
    return ok;
}

bool File::writeAtomically(const std::string& path, const std::string& bytes, std::string* error) {
    std::string temporary = path + ".tmp-" + std::to_string(getpid());
    if (!writeAll(temporary, bytes, error))
        return false;
    std::error_code code;
    fs::rename(temporary, path, code);
    if (code) {
        fs::remove(temporary, code);
        if (error)
            *error = code.message();
        return false;
    }
    return true;
}

bool File::createFolder(const std::string& path) const {
    std::error_code error;
    if (fs::is_directory(path, error))
        return true;
    fs::create_directories(path, error);
    if (!error && fs::is_directory(path))
        return true;
    std::string description =
        error ? error.message() : std::string(std::strerror(EEXIST)); // a file stands there
    m_alerts.critical(path + " - " + description);
    printError(description);
    return false;
}

bool File::removePath(const std::string& path) const {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) {
        printError(std::strerror(ENOENT));
        return false;
    }
    return report(removeTree(path));
}

bool File::copyPath(const std::string& source, const std::string& destination) const {
    std::error_code error;
    if (fs::exists(fs::symlink_status(destination, error))) {
        if (!report(removeTree(destination)))
            return false;
    }
    fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks,
             error);
    return report(error);
}

bool File::movePath(const std::string& source, const std::string& destination) const {
    std::error_code error;
    if (fs::exists(fs::symlink_status(destination, error))) {
        printError(std::strerror(EEXIST));
        return false;
    }
    fs::rename(source, destination, error);
    return report(error);
}

std::vector<std::string> File::listFolder(const std::string& path) const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    if (error) {
        printError(error.message());
        return {};
    }
    return names;
}

bool File::clearImmutableFlag(const std::string& path) const {
    std::string error = m_flags.setImmutable(path, false);
    if (error.empty())
        return true;
    printError(error);
    return false;
}

bool File::copyFolderTree(const std::string& source, const std::string& destination) const {
    std::error_code error;
    fs::recursive_directory_iterator it(source, error);
    if (error)
        return true; // nothing to copy
    for (fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        std::string relative = it->path().lexically_relative(source).string();
        std::string from = join(source, relative), to = join(destination, relative);
        if (isFolder(from)) {
            if (!exists(to) && !createFolder(to))
                return false;
            continue;
        }
        if (exists(to))
            clearImmutableFlag(to);
        if (!copyPath(from, to))
            return false;
    }
    return true;
}

bool File::makeExecutable(const std::string& path) const {
    ProcessResult result = m_processes.run("chmod", {"+x", path});
    if (!result.started)
        printError(result.error);
    return result.started;
}

void File::deleteArchives(const std::string& folder) const {
    for (const std::string& name : listFolder(folder)) {
        size_t dot = name.rfind('.');
        std::string extension = dot == std::string::npos ? "" : asciiLower(name.substr(dot + 1));
        if (extension == "7z" || extension == "zip")
            removePath(join(folder, name));
    }
}

FileAttributes File::readFileAttributes(const std::string& path) const {
    FileAttributes attributes;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        printError(std::strerror(errno));
        return attributes;
    }
    attributes.mLastModified = std::chrono::system_clock::time_point(
        std::chrono::seconds(modificationTime(info).tv_sec) +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(modificationTime(info).tv_nsec)));
    attributes.mSize = static_cast<uint64_t>(info.st_size);
    return attributes;
}

} // namespace dravik
