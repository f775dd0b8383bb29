#include "db/bracket_name.h"

#include <gtest/gtest.h>

#include "db/database.h"
#include "fake_odbc_fixture.h"

using namespace vordex;

namespace {

// What reaches the driver: the bracketed name after ConvertBrackets.
std::string Converted(const char* name, char quoteChar) {
    CDatabase db;
    db.QuoteChar = quoteChar;
    CText text = BracketName(name, quoteChar);
    text.Reserve(text.Length());
    db.ConvertBrackets(text.Buffer());
    text.SyncLength();
    return text.c_str();
}

TEST(BracketName, QuotesExactlyTheNamedTable) {
    struct Case {
        const char* name;
        char quote;
        const char* bracketed;  // as the statement source holds it
        const char* sent;       // after the brackets became the quote character
    };
    const Case cases[] = {
        {"Orders", '"', "[Orders]", "\"Orders\""},
        {"Mixed Items", '"', "[Mixed Items]", "\"Mixed Items\""},
        {"商品", '"', "[商品]", "\"商品\""},
        {"a]b", '"', "[a]]b]", "\"a]b\""},
        {"a[b", '"', "[a[[b]", "\"a[b\""},
        {"x\" FROM y", '"', "[x\"\" FROM y]", "\"x\"\" FROM y\""},
        {"it's", '"', "[it's]", "\"it's\""},
        {"it's]\"", '"', "[it's]]\"\"]", "\"it's]\"\"\""},
        {"v FROM victim; DELETE FROM victim; --", '"', "[v FROM victim; DELETE FROM victim; --]",
         "\"v FROM victim; DELETE FROM victim; --\""},
        {"a''b]", '"', "[a''b]]]", "\"a''b]\""},
        {"a`b", '`', "[a``b]", "`a``b`"},
        {"a\"b", '`', "[a\"b]", "`a\"b`"},
        {"", '"', "[]", "\"\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(std::string(BracketName(c.name, c.quote).c_str()), c.bracketed) << c.name;
        EXPECT_EQ(Converted(c.name, c.quote), c.sent) << c.name;
    }
}

TEST(BracketName, MultibyteTrailBytesAreNotBrackets) {
    ScopedEnv codePage("VORDEX_CODEPAGE", "932");
    // 0x82 0x5D and 0x83 0x5C are one character each (a "]" and a "\\" trail byte);
    // only the last byte is a bracket.
    const char name[] = "\x82\x5D\x83\x5C]";
    EXPECT_EQ(std::string(BracketName(name, '"').c_str()), "[\x82\x5D\x83\x5C]]]");
    EXPECT_EQ(Converted(name, '"'), "\"\x82\x5D\x83\x5C]\"");
}

}  // namespace
