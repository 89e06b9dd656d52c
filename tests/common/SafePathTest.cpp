#include "common/SafePath.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(SafePathTest, NamesMustStayInsideTheirFolder) {
    struct Case {
        std::string name;
        bool plainOk;
        bool relativeOk;
    };
    const Case cases[] = {
        {"poster.png", true, true},
        {"..poster.png", true, true},
        {"Exhibition/BGM/a.mp3", false, true},
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {"../outside", false, false},
        {"Exhibition/../../etc", false, false},
        {"/etc/passwd", false, false},
        {"a//b", false, false},
        {"a/", false, false},
        {"./a", false, false},
        {std::string("a\0b", 3), false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isSafeName(c.name, NameKind::PlainName), c.plainOk) << c.name;
        EXPECT_EQ(isSafeName(c.name, NameKind::RelativePath), c.relativeOk) << c.name;
    }
    auto inside = pathInside("/base", "Exhibition/a", NameKind::RelativePath);
    ASSERT_TRUE(inside);
    EXPECT_EQ(*inside, "/base/Exhibition/a");
    auto refused = pathInside("/base", "../x", NameKind::RelativePath);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("../x"), std::string::npos);
}

} // namespace
} // namespace dravik
