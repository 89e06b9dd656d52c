#include "common/Ini.h"

#include "common/Unicode.h"
#include "support/Fakes.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

using test::utf16le;

struct LookupCase {
    const char* file; // the INI text, lines joined with CR LF
    const char* key;
    const char* expected;
};

TEST(IniTest, LookupFollowsTheLineSyntax) {
    const LookupCase cases[] = {
        {"MSG13=Busy", "msg13", "Busy"},                      // keys ignore letter case
        {"a=first\r\na=second", "a", "first"},                // the first match wins
        {"a=x\\ny", "a", "x\r\ny"},                           // backslash n becomes CR LF
        {"a=\"quoted\"", "a", "quoted"},                      // both quotes go
        {"a=\"open", "a", "open"},                            // a lone leading quote goes
        {"a=close\"", "a", "close"},                          // a lone trailing quote goes
        {"a=\"\"", "a", ""},                                  // two quotes: empty value
        {"a=b=c", "a", "b=c"},                                // split at the first "="
        {";a=comment\r\n[a=section]\r\na=real", "a", "real"}, // comments and sections skipped
        {"  a  =  spaced  ", "a", "spaced"},                  // spaces around key and value
        {"\t\xE3\x80\x80"
         "a\xC2\xA0=\xE3\x80\x80v\t",
         "a", "v"},                                        // tab, ideographic, no-break
        {"a=v ; not a comment", "a", "v ; not a comment"}, // no inline comments
        {"novalue\r\na=1", "a", "1"},                      // a line without "=" is skipped
        {"[s1]\r\na=1\r\n[s2]\r\na=2", "a", "1"},          // sections are one flat list
        {"a=1\nb=2", "a", "1\nb=2"},                       // LF alone does not end a line
        {"x=1", "missing", "default"},                     // missing key: the default
    };
    for (const auto& c : cases) {
        Ini ini = Ini::parse(c.file);
        EXPECT_EQ(ini.getIniValue(c.key, "default"), c.expected) << c.file;
    }
}

TEST(IniTest, DefaultsAreNeverProcessed) {
    Ini ini;
    EXPECT_EQ(ini.getIniValue("msg99", "a\\nb"), "a\\nb");
    EXPECT_EQ(ini.message("msg13"), "既に起動しています");
    EXPECT_EQ(ini.message("msg3"), "招待コードは数字12桁です。\n再入力して下さい。");
    EXPECT_EQ(ini.message("Background_Loading"), "OFF");
}

TEST(IniTest, LoadsUtf16FilesOnly) {
    test::TempFolder temp;
    const std::string text = "; comment\r\nmsg13=二重起動です\r\n";
    struct FileCase {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    std::string bigEndian = "\xFE\xFF";
    for (char16_t unit : utf8ToUtf16(text)) {
        bigEndian.push_back(static_cast<char>(unit >> 8));
        bigEndian.push_back(static_cast<char>(unit & 0xFF));
    }
    const FileCase cases[] = {
        {"little-endian with mark", utf16le(text), "二重起動です"},
        {"little-endian without mark", utf16le(text, false), "二重起動です"},
        {"big-endian with mark", bigEndian, "二重起動です"},
        {"UTF-8", text, "既定"},
        {"Shift_JIS", "msg13=\x93\xf1\x8f\x64\r\n", "既定"},
        {"empty", "", "既定"},
        {"binary", std::string("\x00\xD8\x41\x00\x3D\x00", 6), "既定"}, // unpaired surrogate
        {"odd length", utf16le(text) + "x", "既定"},
    };
    for (const auto& c : cases) {
        std::string path = temp / (std::string(c.name) + ".ini");
        test::writeFile(path, c.bytes);
        EXPECT_EQ(Ini::load(path).getIniValue("msg13", "既定"), c.expected) << c.name;
    }
    EXPECT_TRUE(Ini::load(temp / "missing.ini").items().empty());
}

TEST(IniTest, LfOnlyFileIsOneLine) {
    Ini ini = Ini::parse("key=1\nother=2\n");
    ASSERT_EQ(ini.items().size(), 1u);
    EXPECT_EQ(ini.items()[0].key, "key");
    EXPECT_EQ(ini.items()[0].value, "1\nother=2\n");
}

TEST(IniTest, TrimsInputsLikeTheVisitorTypedThem) {
    EXPECT_EQ(Ini::trim("\xE3\x80\x80 1234-5678-9012\t"), "1234-5678-9012");
    EXPECT_EQ(Ini::trim("\xE3\x80\x80 \t"), "");
    EXPECT_EQ(Ini::trim("a b"), "a b");
    EXPECT_EQ(Ini::trim("a\r\n"), "a\r\n"); // line breaks are not trimmed
}

} // namespace
} // namespace dravik
