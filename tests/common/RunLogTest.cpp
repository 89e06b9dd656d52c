#include "common/RunLog.h"

#include "common/File.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>
#include <regex>
#include <unistd.h>

namespace dravik {
namespace {

TEST(RunLogTest, LineFormat) {
    std::string line = RunLog::formatLine("Dravik Start");
    std::regex shape(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]\(id:(\d+)\)Dravik Start\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
    EXPECT_EQ(match[1], std::to_string(getpid()));
}

TEST(RunLogTest, AppendsAndEmptiesPastTheLimit) {
    test::TempFolder temp;
    RunLog log(temp / "Dravik_log.txt");
    log.write("最初の行");
    log.write("two\nlines");
    std::string content = test::readFile(log.path());
    EXPECT_NE(content.find(")最初の行\n"), std::string::npos);
    EXPECT_NE(content.find(")two\nlines\n"), std::string::npos);

    // Exactly the limit is kept; one byte more empties the file before the next entry.
    test::writeFile(log.path(), std::string(RunLog::kSizeLimit, 'x'));
    log.write("kept");
    content = test::readFile(log.path());
    EXPECT_EQ(content.substr(0, RunLog::kSizeLimit), std::string(RunLog::kSizeLimit, 'x'));
    EXPECT_NE(content.find(")kept\n"), std::string::npos);

    test::writeFile(log.path(), std::string(RunLog::kSizeLimit + 1, 'x'));
    log.write("fresh");
    content = test::readFile(log.path());
    EXPECT_EQ(content, content.substr(0, content.find('\n') + 1)); // just one entry
    EXPECT_NE(content.find(")fresh\n"), std::string::npos);
}

TEST(RunLogTest, UnwritableFolderYieldsNoLinesAndNoFailure) {
    test::TempFolder temp;
    RunLog missing(temp / "no/such/folder/Dravik_log.txt");
    missing.write("lost");
    EXPECT_FALSE(File::exists(missing.path()));

    // A file where the folder should be cannot be written into, not even by root.
    test::writeFile(temp / "blocked", "");
    RunLog blocked(temp / "blocked/Dravik_log.txt");
    blocked.write("lost");
    EXPECT_EQ(test::readFile(temp / "blocked"), "");
}

} // namespace
} // namespace dravik
