#pragma once

// File systems that fail for real, also when the tests run as root (who ignores permission bits):
// a folder whose entries cannot be changed or read, and a disk that fills up.

#include "support/SystemTesting.h"

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace dravik::test {

// Makes the entries of a folder impossible to remove (0555), or the folder unreadable (0000). A
// read-only folder stops an ordinary user; root ignores permissions, so as root the guarded work
// runs with the file-system user id of an unprivileged user, which drops the override for this
// thread only. The rest of the test tree is opened up for that user meanwhile.
class LockedFolder {
public:
    LockedFolder(const std::string& tree, std::string folder,
                 std::filesystem::perms access = std::filesystem::perms(0555))
        : m_folder(std::move(folder)) {
        namespace fs = std::filesystem;
        std::error_code error;
        if (geteuid() == 0) {
            fs::permissions(tree, fs::perms::all, error);
            for (auto it = fs::recursive_directory_iterator(tree, error);
                 !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
                if (it->is_symlink())
                    continue;
                fs::permissions(it->path(), it->is_directory() ? fs::perms::all : fs::perms(0666),
                                error);
            }
        }
        fs::permissions(m_folder, access, error);
    }
    ~LockedFolder() {
        std::error_code error;
        std::filesystem::permissions(m_folder, std::filesystem::perms(0755), error);
    }

    template <typename Work> void run(Work&& work) const {
        useFileSystemUser(kUnprivileged);
        work();
        useFileSystemUser(0);
    }

    // False when the guarded work cannot reach the folder, or may change it anyway.
    bool effective() const {
        bool reachable = false;
        bool created = false;
        run([&] {
            reachable = std::filesystem::exists(m_folder);
            std::string probe = m_folder + "/.probe";
            if (FILE* file = std::fopen(probe.c_str(), "w")) {
                std::fclose(file);
                created = true;
            }
        });
        if (created)
            std::filesystem::remove(m_folder + "/.probe");
        return reachable && !created;
    }

private:
    static constexpr uid_t kUnprivileged = 65534;
    std::string m_folder;
};

// A full disk for this process's writes: no file grows beyond the limit (the write fails with
// EFBIG where a full disk says ENOSPC). Renames and folder changes still work, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of the process
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace dravik::test
