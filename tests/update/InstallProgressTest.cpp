#include "update/InstallProgress.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(InstallProgressTest, ClimbsToNinetyWaitsAndFinishesOnlyWhenDone) {
    int percentage = 0;
    for (int expected = 0; expected <= 90; ++expected)
        ASSERT_EQ(InstallProgress::tick(percentage).value, expected);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(InstallProgress::tick(percentage).step, ProgressStep::Wait);
    percentage = InstallProgress::kDone;
    EXPECT_EQ(InstallProgress::tick(percentage).step, ProgressStep::Finish);
}

} // namespace
} // namespace dravik
