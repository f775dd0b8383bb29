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
        const char* codePage = "65001";
    };
    const Case cases[] = {
        {"Orders", '"', "[Orders]", "\"Orders\""},
        {"Mixed Items", '"', "[Mixed Items]", "\"Mixed Items\""},
        {"商品", '"', "[商品]", "\"商品\""},
        {"a]b", '"', "[a]]b]", "\"a]b\""},
        {"a[b", '"', "[a[[b]", "\"a[b\""},
        {"[br", '"', "[[[br]", "\"[br\""},
        {"[[x]", '"', "[[[[[x]]]", "\"[[x]\""},
        {"x\" FROM y", '"', "[x\"\" FROM y]", "\"x\"\" FROM y\""},
        {"it's", '"', "[it's]", "\"it's\""},
        {"it's]\"", '"', "[it's]]\"\"]", "\"it's]\"\"\""},
        {"v FROM victim; DELETE FROM victim; --", '"', "[v FROM victim; DELETE FROM victim; --]",
         "\"v FROM victim; DELETE FROM victim; --\""},
        {"a''b]", '"', "[a''b]]]", "\"a''b]\""},
        {"a`b", '`', "[a``b]", "`a``b`"},
        {"a\"b", '`', "[a\"b]", "`a\"b`"},
        {"", '"', "[]", "\"\""},
        // CP932: 0x83 0x5C and 0x82 0x5D are one character each, whose
        // trail bytes are never doubled; the bracket of its own is.
        {"\x82\x5D\x83\x5C]", '"', "[\x82\x5D\x83\x5C]]]", "\"\x82\x5D\x83\x5C]\"", "932"},
        // UTF-8 bytes of a name from the server: 0x81 is a CP932 lead byte,
        // but 0x22 is no trail byte, so the quote is doubled.
        {"z\xC3\x81\" WHERE evil() IS NOT NULL --", '"', "[z\xC3\x81\"\" WHERE evil() IS NOT NULL --]",
         "\"z\xC3\x81\"\" WHERE evil() IS NOT NULL --\"", "932"},
        // A backtick after a lead byte is part of its character (チ is 0x83
        // 0x60): doubling it would close the name once the text is
        // converted; a backtick of its own is doubled.
        {"\x83` x`", '`', "[\x83` x``]", "`\x83` x```", "932"},
    };
    for (const Case& c : cases) {
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        EXPECT_EQ(std::string(BracketName(c.name, c.quote).c_str()), c.bracketed) << c.name;
        EXPECT_EQ(Converted(c.name, c.quote), c.sent) << c.name;
    }
}

}  // namespace
