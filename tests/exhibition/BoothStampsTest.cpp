#include "exhibition/BoothStamps.h"

#include "support/Fakes.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace dravik::test {
namespace {

// A hall large enough to be read on two threads: every booth's stamp is found, whichever half of
// the listing it fell in and whichever JSON form it has, and a stamp that is missing, invalid or a
// folder reads as none.
TEST(BoothStamps, ReadsEveryBoothOfALargeHall) {
    TempFolder temp;
    const std::string hall = temp.path() + "/hall";
    const int booths = 1500;
    for (int id = 1; id <= booths; ++id)
        writeFile(hall + "/" + std::to_string(id) + "/updated_at.json",
                  "{\"updated_at\":\"S" + std::to_string(id) + "\"}");
    writeFile(hall + "/updated_at.json", "{\"updated_at\":\"hall\"}");
    writeFile(hall + "/5/updated_at.json", "{\"updated_at\":5}");
    writeFile(hall + "/7/updated_at.json", "not json");
    writeFile(hall + "/13/updated_at.json", "{ \"updated_at\": \"S13\" }\n");
    writeFile(hall + "/15/updated_at.json", "{\"updated_at\":\"S\\u00315\"}");
    std::filesystem::remove(hall + "/9/updated_at.json");
    std::filesystem::remove(hall + "/11/updated_at.json");
    std::filesystem::create_directory(hall + "/11/updated_at.json");

    BoothStamps stamps = BoothStamps::read(hall);

    for (int id : {1, 2, 13, 15, 750, 751, 1499, 1500})
        EXPECT_EQ(stamps.stampOf(std::to_string(id)), "S" + std::to_string(id)) << id;
    for (const char* none : {"5", "7", "9", "11", "1501", "updated_at.json", "01"})
        EXPECT_EQ(stamps.stampOf(none), "") << none;
    EXPECT_EQ(BoothStamps::read(hall + "/missing").stampOf("1"), "");
}

// A stamp that fills the reader's buffer, or spans several reads, is compared whole: read as none,
// it would match an empty stamp of the service and keep outdated files.
TEST(BoothStamps, ReadsAStampLargerThanOneReadWhole) {
    TempFolder temp;
    const std::string hall = temp.path() + "/hall";
    const std::string longStamp(5000, 'S');
    struct Case {
        std::string booth;
        std::string file;
        std::string stamp;
    };
    const Case cases[] = {
        {"1", "{\"updated_at\":\"" + longStamp + "\"}", longStamp},
        {"2", "{\"updated_at\":\"S2\"}" + std::string(4096 - 19, ' '), "S2"},
        {"3", std::string(9000, ' ') + "{\"updated_at\":\"S3\"}", "S3"},
    };
    for (const Case& c : cases)
        writeFile(hall + "/" + c.booth + "/updated_at.json", c.file);
    BoothStamps stamps = BoothStamps::read(hall);
    for (const Case& c : cases)
        EXPECT_EQ(stamps.stampOf(c.booth), c.stamp) << c.booth;
    EXPECT_EQ(BoothStamps::stampIn(hall + "/1"), longStamp);
}

} // namespace
} // namespace dravik::test
