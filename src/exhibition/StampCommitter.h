#pragma once

#include "common/Lifetime.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dravik {

class Launcher;

// Writes the stamp file of each completed folder once the folder's files are on the disk. A
// folder completed while a barrier (DiskSync) runs waits for the next one, so one barrier serves
// every folder completed since the last: never a flush per folder, and none on the main thread.
// After a kill or a power cut no stamp names a folder whose files are not all on the disk; at
// worst a complete folder has no stamp yet and is fetched again at the next start. A stamp
// itself is on the disk after the barrier that follows it (the last one: at finish).
class StampCommitter {
public:
    // A barrier that ended longer ago than this means the downloads paused: the next folder
    // is stamped before its caller goes on, so a folder that completes alone is stamped at once.
    // Barriers start at least this far apart, except at finish: however many folders complete
    // meanwhile, the disk is asked to flush its cache a few times a second at most. After a
    // power cut, only the folders completed since the last barrier began are fetched again.
    static constexpr std::chrono::milliseconds kQuiet{250};

    struct Folder {
        std::string path;
        std::string updatedAt;
        std::vector<std::string> files; // its files, in place
    };

    explicit StampCommitter(Launcher& launcher);
    // A wait between two barriers ends at once.
    ~StampCommitter();

    // Main thread. then runs on the main thread: at once while barriers follow each other, or
    // after this folder's stamp is written when the barriers had paused.
    void add(Folder folder, std::function<void()> then);
    // Main thread: done runs on the main thread once every stamp added so far is written and on
    // the disk.
    void finish(std::function<void()> done);

private:
    struct Batch {
        std::vector<Folder> folders;
        std::vector<std::string> unsyncedStamps; // written by the batch before
    };
    void startBarrier();
    bool waitForSpacing();
    // On a worker: the barrier, then the stamps; returns the stamps it wrote.
    static std::vector<std::string> commit(Launcher& launcher, const Batch& batch);
    void barrierEnded(std::vector<std::string> written);

    Launcher& m_launcher;
    std::vector<Folder> m_pending;
    std::vector<std::string> m_unsyncedStamps;
    std::vector<std::function<void()>> m_afterBarrier;
    std::function<void()> m_finished;
    bool m_running = false;
    std::chrono::steady_clock::time_point m_lastBarrierEnd{};
    std::chrono::steady_clock::time_point m_lastBarrierStart{};
    // Shortens a wait between two barriers, from the main thread.
    struct Spacing {
        std::mutex mutex;
        std::condition_variable changed;
        bool woken = false;
        void wake();
    };
    std::shared_ptr<Spacing> m_spacing = std::make_shared<Spacing>();
    Lifetime m_lifetime;
};

} // namespace dravik
