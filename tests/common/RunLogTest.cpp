#include "common/RunLog.h"

#include "common/File.h"
#include "support/Fakes.h"

#include <cctype>
#include <gtest/gtest.h>
#include <unistd.h>

namespace dravik {
namespace {

TEST(RunLogTest, LineFormat) {
    // "[yyyy/MM/dd HH:mm:ss.SSS](id:<pid>)<text>\n", checked digit by digit.
    std::string line = RunLog::formatLine("Dravik Start");
    const std::string stamp = "[dddd/dd/dd dd:dd:dd.ddd]";
    ASSERT_GT(line.size(), stamp.size()) << line;
    for (size_t i = 0; i < stamp.size(); ++i) {
        bool ok = stamp[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                  : line[i] == stamp[i];
        ASSERT_TRUE(ok) << "position " << i << " of " << line;
    }
    EXPECT_EQ(line.substr(stamp.size()), "(id:" + std::to_string(getpid()) + ")Dravik Start\n");
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
