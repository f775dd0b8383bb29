#include <string>

#include "db/database.h"
#include "fake_odbc_fixture.h"

using namespace vordex;

namespace {

struct BracketCase {
    const char* codePage;  // VORDEX_CODEPAGE
    char quote;
    const char* input;
    const char* expected;
};

TEST(ConvertBrackets, RewritesOutsideLiteralsOnly) {
    const BracketCase cases[] = {
        {"utf8", '"', "[[x]]", "[x]"},
        {"utf8", '"', "'it''s [x]'", "'it''s [x]'"},
        {"utf8", '"', "SELECT a,b  FROM [Orders]", "SELECT a,b  FROM \"Orders\""},
        {"utf8", ' ', "SELECT a  FROM [Orders]", "SELECT a  FROM  Orders "},
        {"utf8", '`', "[a,b] WHERE x='[' AND [y]=1", "`a,b` WHERE x='[' AND `y`=1"},
        {"utf8", '"', "[x]]y]", "\"x]y\""},
        // An odd run of "[" opens a name with its first bracket.
        {"utf8", '"', "[[[s].[[[t]", "\"[s\".\"[t\""},
        {"utf8", '"', "[[x]] [[[y]", "[x] \"[y\""},
        {"utf8", '"', "'unterminated [x]", "'unterminated [x]"},
        {"utf8", '"', "''[x]''", "''\"x\"''"},
        // An apostrophe inside brackets is a character of the name.
        {"utf8", '"', "[it's],[b]  FROM [t]", "\"it's\",\"b\"  FROM \"t\""},
        {"utf8", '"', "'[it' [x]", "'[it' \"x\""},
        {"utf8", '"', "", ""},
        // Multibyte characters are copied whole.
        {"utf8", '"', "[東京]", "\"東京\""},
        // CP932: 0x81 0x5B is one character whose second byte is "[": it
        // is text, copied whole, and never a bracket.
        {"932", '"', "[\x81\x5B]", "\"\x81\x5B\""},
        {"932", '"', "[\x81\x5B]]]", "\"\x81\x5B]\""},
        // 0x81 0x27: an apostrophe is never a trail byte; the literal closes.
        {"932", '"', "'\x81' [x]", "'\x81' \"x\""},
        // The same bytes read as UTF-8 are a stray byte and a real bracket.
        {"utf8", '"', "\x81\x5B", "\x81\""},
    };
    for (const BracketCase& c : cases) {
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        CDatabase db;
        db.QuoteChar = c.quote;
        std::string text(c.input);
        text.push_back('\0');
        text.append("tail");  // the rewritten text must end at its own terminator
        db.ConvertBrackets(text.data());
        EXPECT_STREQ(text.c_str(), c.expected) << c.input;
    }
}

}  // namespace
