#include "platform/code_page.h"

#include <string>

#include "db/library_messages.h"
#include "fake_odbc_fixture.h"

using namespace vordex::platform;

namespace {

/// Sets the environment variable, or unsets it for null.
void set(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

TEST(CodePage, ChosenByOverrideOrLocaleName) {
    struct Case {
        const char* override;  // VORDEX_CODEPAGE; null: unset
        const char* lcAll;     // null: unset
        const char* lcCtype;
        const char* lang;
        CodePage expected;
    };
    const Case cases[] = {
        {"932", "C.UTF-8", nullptr, nullptr, CodePage::Cp932},
        {"65001", "ja_JP.SJIS", nullptr, nullptr, CodePage::Utf8},
        {nullptr, "ja_JP.SJIS", nullptr, nullptr, CodePage::Cp932},
        {nullptr, "ja_JP.Shift_JIS", nullptr, nullptr, CodePage::Cp932},
        {nullptr, "ja_JP.cp932", nullptr, nullptr, CodePage::Cp932},
        {nullptr, "ja_JP.UTF-8", nullptr, nullptr, CodePage::Utf8},
        {nullptr, "C", nullptr, nullptr, CodePage::Utf8},
        // The first of LC_ALL, LC_CTYPE and LANG that is set decides; an
        // empty one is not set.
        {nullptr, "C.UTF-8", "ja_JP.SJIS", "ja_JP.SJIS", CodePage::Utf8},
        {nullptr, nullptr, "ja_JP.SJIS", "C.UTF-8", CodePage::Cp932},
        {nullptr, "", "C.UTF-8", "ja_JP.SJIS", CodePage::Utf8},
        {nullptr, nullptr, nullptr, "ja_JP.WINDOWS-31J", CodePage::Cp932},
    };
    ScopedEnv lcAll("LC_ALL", ""), lcCtype("LC_CTYPE", ""), lang("LANG", "");
    for (const Case& c : cases) {
        set("VORDEX_CODEPAGE", c.override);
        set("LC_ALL", c.lcAll);
        set("LC_CTYPE", c.lcCtype);
        set("LANG", c.lang);
        EXPECT_EQ(HostCodePage(), c.expected) << (c.override ? c.override : "-") << " " << (c.lcAll ? c.lcAll : "-")
                                              << " " << (c.lcCtype ? c.lcCtype : "-") << " " << (c.lang ? c.lang : "-");
    }
    unsetenv("VORDEX_CODEPAGE");
}

TEST(CodePage, MessagesInTheLanguageAskedOrTheHosts) {
    struct Case {
        const char* asked;  // VORDEX_MESSAGES; null: unset
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        bool japanese;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, nullptr, false},
        {nullptr, nullptr, nullptr, "C.UTF-8", false},
        {nullptr, nullptr, nullptr, "ja_JP.UTF-8", true},
        // The first of LC_ALL, LC_MESSAGES and LANG that is set decides.
        {nullptr, "C.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", false},
        {nullptr, "", "ja_JP.UTF-8", "en_US.UTF-8", true},
        {"en", nullptr, nullptr, "ja_JP.UTF-8", false},
        {"ja", nullptr, nullptr, "C.UTF-8", true},
        {"", nullptr, nullptr, "C.UTF-8", false},
        {"jp", nullptr, nullptr, "C.UTF-8", true},
    };
    ScopedEnv asked("VORDEX_MESSAGES", ""), lcAll("LC_ALL", ""), lcMessages("LC_MESSAGES", ""), lang("LANG", "");
    for (const Case& c : cases) {
        set("VORDEX_MESSAGES", c.asked);
        set("LC_ALL", c.lcAll);
        set("LC_MESSAGES", c.lcMessages);
        set("LANG", c.lang);
        vordex::CText text;
        ASSERT_TRUE(vordex::LoadLibraryMessage(vordex::MessageNoTableFound, text));
        EXPECT_EQ(std::string(text.c_str()), c.japanese ? "テーブルが見つかりません." : "No table was found.")
            << (c.asked ? c.asked : "-") << " " << (c.lcAll ? c.lcAll : "-") << " "
            << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
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
        // Lead bytes are 0x81-0x9F and 0xE0-0xFC; trail bytes 0x40-0x7E and 0x80-0xFC.
        {"\x80\x40", CodePage::Cp932, 1},  {"\x9F\x40", CodePage::Cp932, 2},
        {"\xA0\x40", CodePage::Cp932, 1},  {"\xDF\x40", CodePage::Cp932, 1},
        {"\xE0\x80", CodePage::Cp932, 2},  {"\xFC\x40", CodePage::Cp932, 2},
        {"\xFD\x40", CodePage::Cp932, 1},  {"\x81\x3F", CodePage::Cp932, 1},
        {"\x81\x40", CodePage::Cp932, 2},  {"\x81\x80", CodePage::Cp932, 2},
        // A single-byte ANSI code page (no lead bytes outside Windows).
        {"\xE9t", CodePage::Ansi, 1},      {"\x81\x5B", CodePage::Ansi, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CharLength(c.text, c.codePage), c.length) << c.text;
}

TEST(CodePage, Conversions) {
    struct Case {
        std::string text;
        CodePage from, to;
        bool strict;
        std::string expected;  // "" with `refused`
        bool refused = false;
        size_t room = 0;  // 0: ConvertedRoom
    };
    const std::string cp932Table = "\x83\x65\x81\x5B\x83\x75\x83\x8B";  // テーブル
    const Case cases[] = {
        {"テーブル", CodePage::Utf8, CodePage::Cp932, false, cp932Table},
        {cp932Table, CodePage::Cp932, CodePage::Utf8, true, "テーブル"},
        {"ﾄﾞ.", CodePage::Utf8, CodePage::Cp932, false, "\xC4\xDE."},  // half-width: one byte each
        {"\xC4\xDE", CodePage::Cp932, CodePage::Utf8, false, "ﾄﾞ"},    // and three of UTF-8
        {"表", CodePage::Utf8, CodePage::Cp932, true, "\x95\x5C"},      // a backslash as trail byte
        // What the other code page lacks, or what is no character: "?".
        {"a😀b𠮷", CodePage::Utf8, CodePage::Cp932, false, "a?b?"},
        {"a😀", CodePage::Utf8, CodePage::Cp932, true, "", true},
        {"a\xFF" "b", CodePage::Utf8, CodePage::Cp932, false, "a?b"},
        {"a\x82", CodePage::Cp932, CodePage::Utf8, false, "a?"},
        {"a\x82", CodePage::Cp932, CodePage::Utf8, true, "", true},      // a lead byte at the end
        {"\x82\x22", CodePage::Cp932, CodePage::Utf8, true, "", true},  // a lead byte alone
        {"\xE6\x9D", CodePage::Utf8, CodePage::Utf8, true, "", true},   // checked in its own code page
        {"\xE6\x9D", CodePage::Utf8, CodePage::Utf8, false, "\xE6\x9D"},  // unchecked: as it is
        // Room: what does not fit is refused, never cut.
        {"テスト", CodePage::Utf8, CodePage::Cp932, false, "", true, 5},
        {"テスト", CodePage::Utf8, CodePage::Cp932, false, "\x83\x65\x83\x58\x83\x67", false, 6},
        {"abc", CodePage::Cp932, CodePage::Utf8, false, "", true, 2},
    };
    for (const Case& c : cases) {
        std::string out(c.room != 0 ? c.room : ConvertedRoom(c.text.size()), '\0');
        const size_t written = ConvertText(c.text.data(), c.text.size(), c.from, c.to, out.data(), out.size(), c.strict);
        if (c.refused) {
            EXPECT_EQ(written, kNotConverted) << c.text;
        } else {
            ASSERT_NE(written, kNotConverted) << c.text;
            EXPECT_EQ(out.substr(0, written), c.expected) << c.text;
        }
        if (c.strict && c.to == CodePage::Utf8) {
            EXPECT_EQ(IsValidText(c.text.data(), c.text.size(), c.from), !c.refused) << c.text;
        }
    }
    // The library's texts to the host, and the host's to the desktop dialogs.
    ScopedEnv host("VORDEX_CODEPAGE", "932");
    EXPECT_EQ(Utf8ToHost("テーブル"), cp932Table);
    EXPECT_EQ(HostToUtf8(cp932Table.c_str()), "テーブル");
    ScopedEnv utf8Host("VORDEX_CODEPAGE", "65001");
    EXPECT_EQ(Utf8ToHost("テーブル"), "テーブル");
    EXPECT_EQ(HostToUtf8("テーブル"), "テーブル");
}

TEST(CodePage, PrefixComparisonIgnoresAsciiCase) {
    EXPECT_TRUE(StartsWithNoCase("odbc;DSN=x", "ODBC;"));
    EXPECT_TRUE(StartsWithNoCase("Select * from t", "SELECT"));
    EXPECT_FALSE(StartsWithNoCase("ODB", "ODBC;"));
    EXPECT_FALSE(StartsWithNoCase("", "ODBC;"));
    EXPECT_FALSE(StartsWithNoCase("\x83\x53" "ELECT", "SELECT"));
}

}  // namespace
