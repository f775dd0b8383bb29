// Output formats of the command-line host: from the library's 0x1E row text
// to tsv, csv and raw lines.
#include "output_format.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "row_text.h"

namespace vordex::cli {
namespace {

using testing_support::RowText;
using Values = std::vector<std::string>;

TEST(ParseOutputFormat, KnowsExactlyTheFiveNames) {
    const struct {
        const char* name;
        std::optional<OutputFormat> expected;
    } cases[] = {
        {"tsv", OutputFormat::Tsv},   {"csv", OutputFormat::Csv},
        {"raw", OutputFormat::Raw},   {"CSV", std::nullopt},
        {"", std::nullopt},           {"tsv ", std::nullopt},
        {"json", OutputFormat::Json}, {"ndjson", OutputFormat::Ndjson},
        {"JSON", std::nullopt},       {"jsonl", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseOutputFormat(c.name), c.expected) << "'" << c.name << "'";
}

TEST(HasHeaderLine, OnlyTsvAndCsvHaveOne) {
    EXPECT_TRUE(HasHeaderLine(OutputFormat::Tsv));
    EXPECT_TRUE(HasHeaderLine(OutputFormat::Csv));
    EXPECT_FALSE(HasHeaderLine(OutputFormat::Raw));
    EXPECT_FALSE(HasHeaderLine(OutputFormat::Json));
    EXPECT_FALSE(HasHeaderLine(OutputFormat::Ndjson));
}

TEST(SplitListText, GivesOneValuePerTerminator) {
    const struct {
        std::string line;
        Values expected;
    } cases[] = {
        {"", {}},
        {"^", {""}},
        {"a^", {"a"}},
        {"a^bc^", {"a", "bc"}},
        {"^^^", {"", "", ""}},
        {"a^^c^", {"a", "", "c"}},
        {"tab\there^line\nbreak^", {"tab\there", "line\nbreak"}},
        {"日本^", {"日本"}},
        // Bytes after the last terminator are a value of their own.
        {"a^rest", {"a", "rest"}},
        {"rest", {"rest"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitListText(RowText(c.line)), c.expected) << "line: " << c.line;
}

TEST(EscapeTsvValue, EscapesBackslashTabAndLineBreaks) {
    const struct {
        std::string value;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"a\tb", "a\\tb"},
        {"a\nb", "a\\nb"},
        {"a\rb", "a\\rb"},
        {"a\r\nb", "a\\r\\nb"},
        {"C:\\dir", "C:\\\\dir"},
        {"\\t", "\\\\t"},  // a literal backslash-t must not read back as a tab
        {"\t\t", "\\t\\t"},
        {"comma, \"quote\"", "comma, \"quote\""},
        {"日本\\", "日本\\\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeTsvValue(c.value, TextEncoding::Utf8), c.expected) << c.value;
}

// In CP932 the second byte of many kanji and kana is 0x5C, the backslash.
TEST(EscapeTsvValue, KeepsCp932DoubleByteCharactersWhole) {
    const struct {
        std::string value;
        std::string cp932;
        std::string utf8;
    } cases[] = {
        {"\x95\x5C", "\x95\x5C", "\x95\\\\"},                // 表
        {"\x83\x5C\x5C", "\x83\x5C\\\\", "\x83\\\\\\\\"},    // ソ then a backslash
        {"\x5C\x83\x5C", "\\\\\x83\x5C", "\\\\\x83\\\\"},    // backslash then ソ
        {"\xE0\x09", "\xE0\x09", "\xE0\\t"},                 // a lead byte takes the next byte along
        {"\x81", "\x81", "\x81"},                            // a lone lead byte at the end
        {"\xB1\x5C", "\xB1\\\\", "\xB1\\\\"},                // half-width kana are single bytes
        {"a\x94\x5C\tb", "a\x94\x5C\\tb", "a\x94\\\\\\tb"},  // 能 between ASCII
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeTsvValue(c.value, TextEncoding::Cp932), c.cp932) << c.value;
        EXPECT_EQ(EscapeTsvValue(c.value, TextEncoding::Utf8), c.utf8) << c.value;
    }
}

TEST(QuoteCsvValue, QuotesOnlyWhatRfc4180Requires) {
    const struct {
        std::string value;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"plain", "plain"},
        {" padded ", " padded "},
        {"tab\there", "tab\there"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"carriage\rreturn", "\"carriage\rreturn\""},
        {"日,本", "\"日,本\""},
    };
    for (const auto& c : cases) EXPECT_EQ(QuoteCsvValue(c.value), c.expected) << c.value;
}

TEST(FormatRecord, TurnsARowTextIntoALineOfEachFormat) {
    const struct {
        std::string rowText;
        std::string tsv;
        std::string csv;
        std::string raw;
    } cases[] = {
        {"1^apple^1.50^", "1\tapple\t1.50\n", "1,apple,1.50\r\n", "1^apple^1.50^\n"},
        {"^^", "\t\n", ",\r\n", "^^\n"},
        {"a,b^x\ty^", "a,b\tx\\ty\n", "\"a,b\",x\ty\r\n", "a,b^x\ty^\n"},
        {"two\nlines^\\^", "two\\nlines\t\\\\\n", "\"two\nlines\",\\\r\n", "two\nlines^\\^\n"},
        {"\"q\"^", "\"q\"\n", "\"\"\"q\"\"\"\r\n", "\"q\"^\n"},
        {"日本語^", "日本語\n", "日本語\r\n", "日本語^\n"},
        // One empty value: a bare CRLF would be a blank line, which csv readers drop.
        {"^", "\n", "\"\"\r\n", "^\n"},
    };
    for (const auto& c : cases) {
        const Values values = SplitListText(RowText(c.rowText));
        EXPECT_EQ(FormatRecord(OutputFormat::Tsv, values, TextEncoding::Utf8), c.tsv) << c.rowText;
        EXPECT_EQ(FormatRecord(OutputFormat::Csv, values, TextEncoding::Utf8), c.csv) << c.rowText;
        EXPECT_EQ(FormatRecord(OutputFormat::Raw, values, TextEncoding::Utf8), RowText(c.raw)) << c.rowText;
    }
}

TEST(FormatRecord, RawGivesBackTheLibrarysRowTextUnchanged) {
    for (const char* text : {"^", "a^", "a^^c^", "x\ty\r\nz^\\^"}) {
        const std::string rowText = RowText(text);
        EXPECT_EQ(FormatRecord(OutputFormat::Raw, SplitListText(rowText), TextEncoding::Utf8), rowText + "\n");
    }
}

TEST(FormatRecord, TsvFollowsTheTextEncoding) {
    const Values values = {"\x95\x5C", "x"};  // 表 in CP932
    EXPECT_EQ(FormatRecord(OutputFormat::Tsv, values, TextEncoding::Cp932), "\x95\x5C\tx\n");
    EXPECT_EQ(FormatRecord(OutputFormat::Tsv, values, TextEncoding::Utf8), "\x95\\\\\tx\n");
}

// JSON is UTF-8 whatever the host's code page; what JSON reserves is escaped.
TEST(JsonString, EscapesAndConvertsToUtf8) {
    const struct {
        std::string value;
        TextEncoding encoding;
        std::string expected;
    } cases[] = {
        {"", TextEncoding::Utf8, R"("")"},
        {"plain, text", TextEncoding::Utf8, R"("plain, text")"},
        {"say \"hi\"", TextEncoding::Utf8, R"("say \"hi\"")"},
        {"C:\\dir\\", TextEncoding::Utf8, R"("C:\\dir\\")"},
        {"a\tb\nc\rd\be\ff", TextEncoding::Utf8, R"("a\tb\nc\rd\be\ff")"},
        {"nul\x01x\x1E\x1F\x7F", TextEncoding::Utf8, "\"nul\\u0001x\\u001e\\u001f\x7F\""},
        {"日本語", TextEncoding::Utf8, "\"日本語\""},
        {"bad\xFF\xC3", TextEncoding::Utf8, R"("bad??")"},  // no UTF-8: each stray byte a "?"
        // CP932: 表 ends in 0x5C, which is no backslash to escape.
        {"\x95\x5C", TextEncoding::Cp932, "\"表\""},
        {"\x83\x5C\\\"", TextEncoding::Cp932, "\"ソ\\\\\\\"\""},
        {"\xB1\xB2 \x93\xFA\x96\x7B", TextEncoding::Cp932, "\"ｱｲ 日本\""},
        {"tab\t\x95\x5C", TextEncoding::Cp932, "\"tab\\t表\""},
        {"\x81", TextEncoding::Cp932, R"("?")"},  // a lead byte with no second
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.value, c.encoding), c.expected)
            << testing::PrintToString(c.value) << (c.encoding == TextEncoding::Cp932 ? " (CP932)" : "");
    }
}

// What the printer writes around the rows makes whole output for no row,
// one and several; the line formats are FormatRecord's.
TEST(RecordPrinter, PrintsTheWholeOutputOfSeveralRows) {
    const Values names = {"id", "n\"ame"};
    const std::vector<Values> rows = {{"1", "a\tb"}, {"2", ""}};
    const struct {
        OutputFormat format;
        size_t rows;
        std::string expected;
    } cases[] = {
        {OutputFormat::Json, 0, "[]\n"},
        {OutputFormat::Json, 1, "[\n{\"id\":\"1\",\"n\\\"ame\":\"a\\tb\"}\n]\n"},
        {OutputFormat::Json, 2, "[\n{\"id\":\"1\",\"n\\\"ame\":\"a\\tb\"},\n{\"id\":\"2\",\"n\\\"ame\":\"\"}\n]\n"},
        {OutputFormat::Ndjson, 0, ""},
        {OutputFormat::Ndjson, 2, "{\"id\":\"1\",\"n\\\"ame\":\"a\\tb\"}\n{\"id\":\"2\",\"n\\\"ame\":\"\"}\n"},
    };
    for (const auto& c : cases) {
        RecordPrinter printer(c.format, names, TextEncoding::Utf8);
        std::string out = printer.Start();
        for (size_t i = 0; i < c.rows; ++i) out += printer.Row(rows[i]);
        out += printer.Finish();
        EXPECT_EQ(out, c.expected) << static_cast<int>(c.format) << ", " << c.rows << " rows";
    }
}

/// Sets the locale and code page variables for one test and puts them back.
class EncodingEnvironment : public testing::Test {
protected:
    static constexpr const char* kVariables[] = {"VORDEX_CODEPAGE", "LC_ALL", "LC_CTYPE", "LANG"};

    void SetUp() override {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            saved_.push_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (size_t i = 0; i < saved_.size(); ++i) {
            if (saved_[i]) {
                setenv(kVariables[i], saved_[i]->c_str(), 1);
            } else {
                unsetenv(kVariables[i]);
            }
        }
    }

private:
    std::vector<std::optional<std::string>> saved_;
};

TEST_F(EncodingEnvironment, FollowsTheCodePageThenTheFirstLocaleVariableSet) {
    const struct {
        const char* codePage;
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        TextEncoding expected;
    } cases[] = {
        {nullptr, nullptr, nullptr, nullptr, TextEncoding::Utf8},
        {"932", nullptr, nullptr, nullptr, TextEncoding::Cp932},
        {"932", "C.UTF-8", nullptr, nullptr, TextEncoding::Cp932},
        {"65001", "ja_JP.SJIS", nullptr, nullptr, TextEncoding::Utf8},
        {"", "ja_JP.SJIS", nullptr, nullptr, TextEncoding::Cp932},
        {nullptr, nullptr, nullptr, "ja_JP.Shift_JIS", TextEncoding::Cp932},
        {nullptr, nullptr, "ja_JP.cp932", nullptr, TextEncoding::Cp932},
        {nullptr, nullptr, nullptr, "ja_JP.windows-31j", TextEncoding::Cp932},
        {nullptr, nullptr, nullptr, "ja_JP.UTF-8", TextEncoding::Utf8},
        {nullptr, "C.UTF-8", nullptr, "ja_JP.SJIS", TextEncoding::Utf8},
        {nullptr, "", "ja_JP.SJIS", "C.UTF-8", TextEncoding::Cp932},
    };
    for (const auto& c : cases) {
        const char* values[] = {c.codePage, c.lcAll, c.lcCtype, c.lang};
        for (size_t i = 0; i < std::size(values); ++i) {
            if (values[i] != nullptr) {
                setenv(kVariables[i], values[i], 1);
            } else {
                unsetenv(kVariables[i]);
            }
        }
        EXPECT_EQ(HostTextEncoding(), c.expected)
            << "VORDEX_CODEPAGE=" << (c.codePage ? c.codePage : "(unset)")
            << " LC_ALL=" << (c.lcAll ? c.lcAll : "(unset)") << " LC_CTYPE=" << (c.lcCtype ? c.lcCtype : "(unset)")
            << " LANG=" << (c.lang ? c.lang : "(unset)");
    }
}

}  // namespace
}  // namespace vordex::cli
