#include "exhibition/StampCommitter.h"

#include "common/Diagnostics.h"
#include "common/File.h"
#include "common/Launcher.h"
#include "common/RecordCoding.h"
#include "platform/DiskSync.h"
#include "platform/MainThread.h"
#include "platform/Workers.h"

#include <utility>

namespace dravik {

namespace {

const char* const kStampName = "updated_at.json";

} // namespace

StampCommitter::StampCommitter(Launcher& launcher) : m_launcher(launcher) {}

StampCommitter::~StampCommitter() {
    m_spacing->wake();
}

void StampCommitter::add(Folder folder, std::function<void()> then) {
    m_pending.push_back(std::move(folder));
    if (m_running) {
        then();
        return;
    }
    if (std::chrono::steady_clock::now() - m_lastBarrierEnd < kQuiet) {
        startBarrier();
        then();
        return;
    }
    m_afterBarrier.push_back(std::move(then));
    startBarrier();
}

void StampCommitter::finish(std::function<void()> done) {
    m_finished = std::move(done);
    if (!m_running)
        startBarrier();
    else
        m_spacing->wake(); // the last barrier waits for nobody
}

void StampCommitter::Spacing::wake() {
    std::lock_guard lock(mutex);
    woken = true;
    changed.notify_all();
}

// Barriers start at least kQuiet apart while folders keep completing: one that would follow the
// last one sooner waits on a worker, and the folders completed meanwhile join it.
bool StampCommitter::waitForSpacing() {
    const auto sinceLast = std::chrono::steady_clock::now() - m_lastBarrierStart;
    if (m_finished || sinceLast >= kQuiet)
        return false;
    m_running = true;
    m_spacing->woken = false;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kQuiet - sinceLast);
    Launcher* launcher = &m_launcher;
    m_launcher.platform.workers.run(
        [this, launcher, wait, spacing = m_spacing, token = m_lifetime.token()] {
            {
                std::unique_lock lock(spacing->mutex);
                spacing->changed.wait_for(lock, wait, [&] { return spacing->woken; });
            }
            launcher->platform.mainThread.post([this, token] {
                if (token.expired())
                    return;
                m_running = false;
                m_lastBarrierStart = {};
                startBarrier();
            });
        });
    return true;
}

void StampCommitter::startBarrier() {
    if (m_pending.empty() && m_unsyncedStamps.empty()) {
        if (auto finished = std::exchange(m_finished, nullptr))
            finished();
        return;
    }
    if (waitForSpacing())
        return;
    m_lastBarrierStart = std::chrono::steady_clock::now();
    m_running = true;
    Batch batch{std::exchange(m_pending, {}), std::exchange(m_unsyncedStamps, {})};
    Launcher* launcher = &m_launcher;
    auto token = m_lifetime.token();
    m_launcher.platform.workers.run([this, launcher, token, batch = std::move(batch)] {
        std::vector<std::string> written = commit(*launcher, batch);
        launcher->platform.mainThread.post([this, token, written = std::move(written)]() mutable {
            if (!token.expired())
                barrierEnded(std::move(written));
        });
    });
}

std::vector<std::string> StampCommitter::commit(Launcher& launcher, const Batch& batch) {
    std::vector<std::string> files = batch.unsyncedStamps;
    for (const Folder& folder : batch.folders)
        files.insert(files.end(), folder.files.begin(), folder.files.end());
    if (Status synced = launcher.platform.diskSync.syncFiles(files); !synced) {
        // Unstamped, the folders are fetched again at the next start.
        launcher.writeLog("Stamps not written: the files could not be put on the disk: " +
                          synced.error());
        return {};
    }
    std::vector<std::string> written;
    for (const Folder& folder : batch.folders) {
        std::string stamp = File::join(folder.path, kStampName);
        Status done = File::writeAtomically(stamp, encodeRecord(QZ_UPDATED_AT{folder.updatedAt}),
                                            File::Durability::Later);
        if (done)
            written.push_back(std::move(stamp));
        else
            printDiagnostic(done.error());
    }
    return written;
}

void StampCommitter::barrierEnded(std::vector<std::string> written) {
    m_running = false;
    m_lastBarrierEnd = std::chrono::steady_clock::now();
    m_unsyncedStamps.insert(m_unsyncedStamps.end(), written.begin(), written.end());
    for (auto& then : std::exchange(m_afterBarrier, {}))
        then();
    // Folders that completed meanwhile go into the next barrier; at the end, the last stamps too.
    if (!m_pending.empty() || (m_finished && !m_unsyncedStamps.empty()))
        startBarrier();
    else if (m_finished)
        std::exchange(m_finished, nullptr)();
}

} // namespace dravik
