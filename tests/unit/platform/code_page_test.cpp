#include "platform/code_page.h"

#include "fake_odbc_fixture.h"

using namespace vordex::platform;

namespace {

TEST(CodePage, ChosenByOverrideOrLocaleName) {
    struct Case {
        const char* override;  // VORDEX_CODEPAGE, null: unset
        const char* lang;      // LC_ALL
        CodePage expected;
    };
    const Case cases[] = {
        {"932", "C.UTF-8", CodePage::Cp932},   {"65001", "ja_JP.SJIS", CodePage::Utf8},
        {nullptr, "ja_JP.SJIS", CodePage::Cp932}, {nullptr, "ja_JP.Shift_JIS", CodePage::Cp932},
        {nullptr, "ja_JP.cp932", CodePage::Cp932}, {nullptr, "ja_JP.UTF-8", CodePage::Utf8},
        {nullptr, "C", CodePage::Utf8},
    };
    for (const Case& c : cases) {
        ScopedEnv lcAll("LC_ALL", c.lang);
        if (c.override != nullptr) setenv("VORDEX_CODEPAGE", c.override, 1);
        EXPECT_EQ(HostCodePage(), c.expected) << (c.override ? c.override : "-") << " " << c.lang;
        unsetenv("VORDEX_CODEPAGE");
    }
}

TEST(CodePage, CharacterLengths) {
    struct Case {
        const char* text;
        CodePage codePage;
        size_t length;
    };
    const Case cases[] = {
        {"a", CodePage::Utf8, 1},          {"", CodePage::Utf8, 1},
        {"é", CodePage::Utf8, 2},          {"東", CodePage::Utf8, 3},
        {"😀", CodePage::Utf8, 4},          {"\xE6\x9D", CodePage::Utf8, 1},  // cut sequence
        {"\x80x", CodePage::Utf8, 1},      {"\x81\x5B", CodePage::Cp932, 2},
        {"\x81", CodePage::Cp932, 1},      {"\xB1", CodePage::Cp932, 1},  // half-width katakana
        {"\xE0\x40", CodePage::Cp932, 2},  {"\xA0", CodePage::Cp932, 1},
        // Only 0x40-0x7E and 0x80-0xFC follow a lead byte: a quote, a control
        // byte, 0x7F or 0xFD-0xFF leave it standing alone.
        {"\x81\x22", CodePage::Cp932, 1},  {"\x81\x0A", CodePage::Cp932, 1},
        {"\x81\x7F", CodePage::Cp932, 1},  {"\x81\xFD", CodePage::Cp932, 1},
        {"\x81\x7E", CodePage::Cp932, 2},  {"\xFC\xFC", CodePage::Cp932, 2},
        // A single-byte ANSI code page (no lead bytes outside Windows).
        {"\xE9t", CodePage::Ansi, 1},      {"\x81\x5B", CodePage::Ansi, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CharLength(c.text, c.codePage), c.length) << c.text;
}

TEST(CodePage, LibraryTextsConvertToTheHostCodePage) {
    // "テーブル" in CP932.
    EXPECT_STREQ(Utf8ToCodePage("テーブル", CodePage::Cp932).c_str(), "\x83\x65\x81\x5B\x83\x75\x83\x8B");
    // Half-width katakana "ﾄﾞ" is single-byte there.
    EXPECT_STREQ(Utf8ToCodePage("ﾄﾞ.", CodePage::Cp932).c_str(), "\xC4\xDE.");
    EXPECT_STREQ(Utf8ToCodePage("テーブル", CodePage::Utf8).c_str(), "テーブル");
    // A character CP932 lacks becomes a question mark; the rest survives.
    EXPECT_STREQ(Utf8ToCodePage("a😀b", CodePage::Cp932).c_str(), "a?b");
}

TEST(CodePage, PrefixComparisonIgnoresAsciiCase) {
    EXPECT_TRUE(StartsWithNoCase("odbc;DSN=x", "ODBC;"));
    EXPECT_TRUE(StartsWithNoCase("Select * from t", "SELECT"));
    EXPECT_FALSE(StartsWithNoCase("ODB", "ODBC;"));
    EXPECT_FALSE(StartsWithNoCase("", "ODBC;"));
    EXPECT_FALSE(StartsWithNoCase("\x83\x53" "ELECT", "SELECT"));
}

}  // namespace
