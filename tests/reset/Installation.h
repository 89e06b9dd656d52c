#pragma once

// Shared by the reset tests: an Exhibition folder as a visitor leaves it behind, what the reset
// steps have done to it, and a folder whose removal fails for real (also when running as root).

#include "support/Fakes.h"
#include "support/SystemTesting.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace dravik::test {

// The viewer's folders and logs, in the order the reset removes them.
inline const std::vector<std::string> kViewerItems = {
    "BGM",          "Lobby",      "MonoBleedingEdge", "Kestrane_Data",
    "Kestrane.app", "APILog.txt", "BoothLog.txt",
};

// Which reset steps have left their mark on an installation.
struct Outcome {
    bool parameters = false;       // parameter defaults written, launcher settings reset
    bool cache = false;            // the cache folder is gone
    bool prevDownloadTime = false; // the parameter file's prevDownloadTime is empty
    bool email = false;            // the stored e-mail is empty
    bool inviteCode = false;       // the stored invitation code is empty
    bool viewer = false;           // viewer folders and logs gone, installed version "0.0.0"
    bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{parameters " << o.parameters << ", cache " << o.cache << ", prevDownloadTime "
               << o.prevDownloadTime << ", email " << o.email << ", inviteCode " << o.inviteCode
               << ", viewer " << o.viewer << "}";
}

class Installation {
public:
    explicit Installation(std::string exhibition) : m_exhibition(std::move(exhibition)) {}

    std::string path(const std::string& relative) const { return m_exhibition + "/" + relative; }
    bool has(const std::string& relative) const { return std::filesystem::exists(path(relative)); }

    // JSON of a file, or null when it is missing or not JSON.
    nlohmann::ordered_json json(const std::string& relative) const {
        return nlohmann::ordered_json::parse(readFile(path(relative)), nullptr, false);
    }

    void create() const {
        writeFile(
            path("FPSControllerParameter.json"),
            R"({"rotateSpeed_mouse": 99, "prevDownloadTime": [1700000000], "viewerOwn": "keep"})");
        writeFile(path("Dravik.json"), R"({"update": "OFF", "LobbyDisplay": "OFF"})");
        writeFile(path("user.json"),
                  R"({"invitecode": "ABCD12345678", "email": "visitor@example.com",)"
                  R"( "visitorData": {"id": 7}, "LobbyDisplay": true})");
        writeFile(path("version_mac.json"),
                  R"({"version": "1.2.3", "file_url": "https://example.com/r.7z", "extra": 1})");
        writeFile(path("ExhibitionData/exhibition1_hall2/booth3/updated_at.json"), "{}");
        writeFile(path("BGM/Exhibition_hall.mp3"), "mp3");
        writeFile(path("Lobby/lobby.bundle"), "lobby");
        writeFile(path("MonoBleedingEdge/etc/mono/config"), "config");
        writeFile(path("Kestrane_Data/Resources/data.bin"), "data");
        writeFile(path("Kestrane.app/Contents/MacOS/Kestrane"), "#!/bin/sh\n");
        writeFile(path("APILog.txt"), "api");
        writeFile(path("BoothLog.txt"), "booth");
    }

    std::string user(const char* key) const {
        auto user = json("user.json");
        return user.is_object() && user.contains(key) && user[key].is_string()
                   ? user[key].get<std::string>()
                   : "<" + std::string(key) + " not stored>";
    }
    std::string version() const {
        auto record = json("version_mac.json");
        return record.is_object() ? record.value("version", "") : "<none>";
    }

    Outcome observe() const {
        auto parameters = json("FPSControllerParameter.json");
        auto settings = json("Dravik.json");
        Outcome o;
        o.parameters = parameters.is_object() && parameters.value("rotateSpeed_mouse", 0.0) == 20 &&
                       settings.is_object() && settings.value("update", "") == "ON" &&
                       settings.value("LobbyDisplay", "") == "AUTO";
        o.cache = !has("ExhibitionData");
        o.prevDownloadTime = parameters.is_object() && parameters.contains("prevDownloadTime") &&
                             parameters["prevDownloadTime"] == nlohmann::ordered_json::array();
        o.email = user("email").empty();
        o.inviteCode = user("invitecode").empty();
        o.viewer = version() == "0.0.0";
        for (const auto& item : kViewerItems)
            o.viewer = o.viewer && !has(item);
        return o;
    }

private:
    std::string m_exhibition;
};

// Makes the entries of a folder impossible to remove. A read-only folder stops an ordinary user;
// root ignores permissions, so as root the guarded work runs with the file-system user id of an
// unprivileged user, which drops the override for this thread only. The rest of the test tree is
// opened up for that user meanwhile.
class LockedFolder {
public:
    LockedFolder(const std::string& tree, std::string folder) : m_folder(std::move(folder)) {
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
        fs::permissions(m_folder, fs::perms(0555), error);
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

} // namespace dravik::test
