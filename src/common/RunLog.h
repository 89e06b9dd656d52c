#pragma once

#include <cstdint>
#include <string>

namespace dravik {

// The run log Dravik_log.txt in the private folder. Every write opens, appends one line and
// closes; a file grown past the limit is emptied first. Writing never fails towards the caller.
class RunLog {
public:
    static constexpr uint64_t kSizeLimit = 1000000;

    RunLog() = default;
    explicit RunLog(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const { return m_path; }
    void write(const std::string& text) const;

    // "[yyyy/MM/dd HH:mm:ss.SSS](id:<pid>)<text>\n" for the current time and process.
    static std::string formatLine(const std::string& text);

private:
    std::string m_path;
};

} // namespace dravik
