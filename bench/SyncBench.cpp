// Data sync benchmark: the comparison of a hall of 10,000 booths with a base folder holding a
// folder and a stamp for each, and the download list it builds, as ExhibitionDataSync runs it after
// the sign-in. The hall request is answered from memory, so the figure is the launcher's own work:
// decoding the hall, reading 10,000 stamps and listing what is missing.
//
//   dravik_sync_bench [--booths N] [--runs N] [--leave-in FOLDER]
//
// With --leave-in, the base folder is moved into FOLDER at the end instead of being removed, so
// that the caller removes its 20,000 entries when no other measure runs.

#include "common/Ini.h"
#include "exhibition/ExhibitionDataSync.h"
#include "support/Fakes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// Answers the hall request with one prepared reply.
class HallHttp : public dravik::Http {
public:
    explicit HallHttp(std::string body) : m_body(std::move(body)) {}
    dravik::Expected<dravik::HttpResponse> request(const dravik::HttpRequest&) override {
        return dravik::HttpResponse{200, m_body};
    }
    std::unique_ptr<dravik::Transfer> download(const dravik::HttpRequest&, const std::string&,
                                               dravik::TransferReceiver) override {
        return nullptr;
    }

private:
    std::string m_body;
};

json files(int64_t booth) {
    json list = json::array();
    for (const char* name : {"booth.json", "poster.png", "movie.mp4"})
        list.push_back({{"fileName", name},
                        {"uri", "https://files.example/" + std::to_string(booth) + "/" + name}});
    return list;
}

} // namespace

int main(int argc, char** argv) {
    int booths = 10000;
    int runs = 5;
    std::string leaveIn;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--booths")
            booths = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--leave-in")
            leaveIn = argv[i + 1];
    }
    // One booth in a hundred is new: it has no folder yet and lands in the list.
    json hall = {{"id", 3},
                 {"name", "Hall"},
                 {"updated_at", "2025-04-01 10:00:00"},
                 {"hallSize", 1},
                 {"files", files(0)},
                 {"booths", {{"files", json::array()}, {"updated_ats", json::array()}}}};
    for (int64_t id = 1; id <= booths; ++id) {
        hall["booths"]["files"].push_back({{"id", id}, {"files", files(id)}});
        hall["booths"]["updated_ats"].push_back(
            {{"id", id}, {"updated_at", "2025-03-" + std::to_string(10 + id % 20) + " 09:00:00"}});
    }
    HallHttp http(hall.dump());

    dravik::test::TestLauncher t;
    t.useHttp(http);
    const std::string folder = t.exhibition("BackgroundData/exhibition12_hall3");
    dravik::test::writeFile(folder + "/updated_at.json",
                            json{{"updated_at", hall["updated_at"]}}.dump());
    for (const json& stamp : hall["booths"]["updated_ats"]) {
        int64_t id = stamp["id"];
        if (id % 100 != 0)
            dravik::test::writeFile(folder + "/" + std::to_string(id) + "/updated_at.json",
                                    json{{"updated_at", stamp["updated_at"]}}.dump());
    }

    // The 10,000 stamp files just written go to the disk now, not while the sync is timed.
    sync();

    std::vector<double> seconds;
    size_t listed = 0;
    for (int run = 0; run < runs; ++run) {
        dravik::Launcher& launcher = *t.launcher;
        launcher.ini = dravik::Ini::parse("Background_Loading=ON");
        launcher.authRecord = dravik::QZ_AUTH{{}, "token"};
        launcher.invitedExhibitionId = 12;
        launcher.invitedHallId = 3;
        launcher.downloadList.clear();
        auto start = Clock::now();
        dravik::ExhibitionDataSync(launcher).run({});
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        listed = launcher.downloadList.size();
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("data sync, %d booths (%zu folders listed): %.3f s (median of %d)\n", booths,
                listed, seconds[seconds.size() / 2], runs);
    std::error_code error;
    if (!leaveIn.empty())
        std::filesystem::rename(t.base(), leaveIn + "/sync-base", error);
    return listed == static_cast<size_t>(booths / 100) ? 0 : 1;
}
