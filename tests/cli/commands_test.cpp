// The commands of the command-line host, run against a fake library: what
// they print, how they read rows, and how they fail.
#include "commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli_errors.h"
#include "command_line.h"
#include "fake_vordex_api.h"
#include "row_text.h"
#include "stored_value.h"

namespace vordex::cli {
namespace {

using testing_support::Fake;
using testing_support::FakeApi;
using testing_support::FakeDataSource;
using testing_support::RowText;
using Words = std::vector<std::string>;

struct Outcome {
    int status = 0;  // as the process would exit
    std::string out;
    std::string err;
    std::string reason;  // the one-line reason of a failure
    int libraryLoads = 0;
};

/// Runs `vordex WORDS` the way main() does, on the fake library.
Outcome RunVordex(const Words& words) {
    std::vector<const char*> argv = {"vordex"};
    for (const std::string& word : words) argv.push_back(word.c_str());

    Outcome outcome;
    char* outText = nullptr;
    size_t outSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    if (out == nullptr) throw std::runtime_error("open_memstream failed");
    const VordexApi api = FakeApi();
    testing::internal::CaptureStderr();
    try {
        const Invocation invocation = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        CommandContext context{invocation,
                               [&]() -> const VordexApi& {
                                   ++outcome.libraryLoads;
                                   return api;
                               },
                               out};
        FindCommand(invocation).run(context);
    } catch (const UsageError& e) {
        outcome.status = kExitUsage;
        outcome.reason = e.what();
    } catch (const CommandFailure& e) {
        outcome.status = e.status();
        outcome.reason = e.what();
    }
    outcome.err = testing::internal::GetCapturedStderr();
    std::fclose(out);
    outcome.out.assign(outText, outSize);
    std::free(outText);
    return outcome;
}

std::string Joined(const Words& words) {
    std::string text;
    for (const std::string& word : words) text += "[" + word + "]";
    return text;
}

class Commands : public testing::Test {
protected:
    void SetUp() override {
        setenv("VORDEX_DIALOG", "stderr", 1);  // as vordex sets it
        unsetenv("VORDEX_CODEPAGE");
        unsetenv("VORDEX_MESSAGES");
        Fake() = FakeDataSource{};
        Fake().tables = {"customers", "items"};
        Fake().tableName = "items";
        Fake().columns = {"id", "name", "note"};
        Fake().rows = {{"1", "apple", ""}, {"2", "pear, green", "say \"hi\""}, {"3", "fig", "tab\there\\"}};
    }

    void TearDown() override {
        unsetenv("VORDEX_CODEPAGE");
        unsetenv("VORDEX_MESSAGES");
    }

    /// The command may have ended anyhow: the record and the connection are closed.
    static void ExpectClosed() {
        EXPECT_FALSE(Fake().recordOpen);
        EXPECT_FALSE(Fake().connected);
    }
};

TEST_F(Commands, TablesAndColumnsPrintOneNamePerLine) {
    const struct {
        Words words;
        std::string out;
    } cases[] = {
        {{"tables"}, "customers\nitems\n"},
        {{"columns", "items"}, "id\nname\nnote\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, 0) << outcome.reason;
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, "");
        ExpectClosed();
    }
}

TEST_F(Commands, RowsPrintsEveryRowInTheChosenFormat) {
    const struct {
        Words words;
        std::string out;
    } cases[] = {
        {{"rows", "items"}, "id\tname\tnote\n1\tapple\t\n2\tpear, green\tsay \"hi\"\n3\tfig\ttab\\there\\\\\n"},
        {{"rows", "items", "--format", "tsv"},
         "id\tname\tnote\n1\tapple\t\n2\tpear, green\tsay \"hi\"\n3\tfig\ttab\\there\\\\\n"},
        {{"rows", "items", "--format=csv"},
         "id,name,note\r\n1,apple,\r\n2,\"pear, green\",\"say \"\"hi\"\"\"\r\n3,fig,tab\there\\\r\n"},
        {{"--format", "raw", "rows", "items"}, RowText("1^apple^^\n2^pear, green^say \"hi\"^\n3^fig^tab\there\\^\n")},
        {{"rows", "items", "--format", "json"}, R"([
{"id":"1","name":"apple","note":""},
{"id":"2","name":"pear, green","note":"say \"hi\""},
{"id":"3","name":"fig","note":"tab\there\\"}
]
)"},
        {{"rows", "items", "--format", "ndjson"}, R"({"id":"1","name":"apple","note":""}
{"id":"2","name":"pear, green","note":"say \"hi\""}
{"id":"3","name":"fig","note":"tab\there\\"}
)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, 0) << outcome.reason;
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, "");
        ExpectClosed();
    }
}

TEST_F(Commands, RowsOfAnEmptyTablePrintOnlyTheHeader) {
    Fake().rows.clear();
    const Outcome outcome = RunVordex({"rows", "items", "--format", "csv"});
    EXPECT_EQ(outcome.status, 0) << outcome.reason;
    EXPECT_EQ(outcome.out, "id,name,note\r\n");
    EXPECT_EQ(RunVordex({"rows", "items", "--format", "json"}).out, "[]\n");
    EXPECT_EQ(RunVordex({"rows", "items", "--format", "ndjson"}).out, "");
}

// JSON is UTF-8: on a CP932 host names and values are converted, while the
// other formats keep the library's bytes.
TEST_F(Commands, JsonIsUtf8WhateverTheCodePage) {
    const struct {
        const char* codePage;
        std::string name;  // as the library hands it out
        Words words;
        std::string out;
    } cases[] = {
        // clang-format off
        {nullptr, "日本", {"get", "items", "0", "--format", "ndjson"}, "{\"id\":\"1\",\"name\":\"日本\",\"名\":\"\"}\n"},
        {"932", "\x93\xFA\x96\x7B", {"get", "items", "0", "--format", "ndjson"},
         "{\"id\":\"1\",\"name\":\"日本\",\"名\":\"\"}\n"},
        // 表 ends in the byte of a backslash: not escaped, and the quote after it is.
        {"932", "\x95\x5C\"", {"get", "items", "--where", "id=1", "--format", "json"},
         "[\n{\"id\":\"1\",\"name\":\"表\\\"\",\"名\":\"\"}\n]\n"},
        {"932", "\x95\x5C", {"get", "items", "0"}, "id\tname\t\x96\xBC\n1\t\x95\x5C\t\n"},
        // ァ: its trail byte is 0x40, the lowest CP932 takes.
        {"932", "\x83\x40", {"get", "items", "--where", "name=\x83\x40", "--format", "ndjson"},
         "{\"id\":\"1\",\"name\":\"ァ\",\"名\":\"\"}\n"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words) + (c.codePage != nullptr ? " CP932" : ""));
        SetUp();
        if (c.codePage != nullptr) setenv("VORDEX_CODEPAGE", c.codePage, 1);
        // The third column's name: 名 in the host's code page.
        Fake().columns = {"id", "name", c.codePage != nullptr ? "\x96\xBC" : "名"};
        Fake().rows = {{"1", c.name, ""}};
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, 0) << outcome.reason;
        EXPECT_EQ(outcome.out, c.out);
    }
}

// A row holding a value over 255 bytes cannot be read: rows goes on past it,
// names it at the end and fails.
TEST_F(Commands, RowsSkipsTheRowsTheLibraryCannotRead) {
    const std::string header = "id\tname\tnote\n";
    const std::string skipped =
        " of table 'items' hold a value longer than the library's limit of 255 bytes, and were "
        "skipped; the other rows were printed";
    const struct {
        std::vector<size_t> longRows;
        void (*setUp)();
        std::string out;
        std::string reason;
        int libraryMessages;  // one for each row skipped
        std::string note;     // vordex's, before the reason
    } cases[] = {
        // clang-format off
        {{2}, nullptr, "0\ta\t\n1\tb\t\n3\td\t\n4\te\t\n",
         "row 2 of table 'items' holds a value longer than the library's limit of 255 bytes, and was skipped; the "
         "other rows were printed", 1, ""},
        {{1, 2, 4}, nullptr, "0\ta\t\n3\td\t\n", "rows 1-2, 4" + skipped, 3, ""},
        {{1, 3}, [] { setenv("VORDEX_CODEPAGE", "932", 1); }, "0\ta\t\n2\tc\t\n4\te\t\n", "rows 1, 3" + skipped, 2, ""},
        // A move that fails otherwise ends rows; the rows skipped are named.
        {{1}, [] { Fake().moveNextFailsAtRow = 3; }, "0\ta\t\n2\tc\t\n3\td\t\n",
         "cannot move past row 3 of table 'items'", 1,
         "vordex: row 1 of table 'items' holds a value longer than the library's limit of 255 bytes, and was "
         "skipped\n"},
        // Without the library's messages vordex cannot tell why a move failed.
        {{2}, [] { setenv("VORDEX_DIALOG", "none", 1); }, "0\ta\t\n1\tb\t\n", "cannot move past row 1 of table 'items'",
         0, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.longRows) + " " + c.reason);
        SetUp();
        Fake().rows = {{"0", "a", ""}, {"1", "b", ""}, {"2", "c", ""}, {"3", "d", ""}, {"4", "e", ""}};
        Fake().longValueRows = c.longRows;
        if (c.setUp != nullptr) c.setUp();
        const Outcome outcome = RunVordex({"rows", "items"});
        EXPECT_EQ(outcome.status, kExitFailure);
        EXPECT_EQ(outcome.out, header + c.out);
        EXPECT_EQ(outcome.reason, c.reason);
        size_t lines = 0;
        for (size_t at = 0; (at = outcome.err.find("VORDEX: ", at)) != std::string::npos; ++at) ++lines;
        EXPECT_EQ(lines, static_cast<size_t>(c.libraryMessages)) << outcome.err;
        EXPECT_EQ(outcome.err.substr(outcome.err.size() - std::min(outcome.err.size(), c.note.size())), c.note);
        ExpectClosed();
    }
}

// --where reads past the rows the library cannot read, as rows does: get
// prints what matches among the others and fails, since a row skipped might
// have matched; set writes the one row that matches among the others.
TEST_F(Commands, GetAndSetByKeyReadPastTheRowsTheLibraryCannotRead) {
    const std::string header = "id\tname\tnote\n";
    const std::string holds =
        " of table 'items' holds a value longer than the library's limit of 255 bytes, and was "
        "skipped (it might match --where)";
    const std::string hold =
        " of table 'items' hold a value longer than the library's limit of 255 bytes, and were "
        "skipped (they might match --where)";
    const struct {
        Words words;
        std::vector<size_t> longRows;
        int status;
        std::string out;
        std::string reason;
        std::string note;     // vordex's own, on standard error
        std::string written;  // note of the row with id 3 afterwards
    } cases[] = {
        // clang-format off
        // get: the match after, before and between rows skipped.
        {{"get", "items", "--where", "id=3"}, {1}, kExitFailure, header + "3\tb\tn3\n",
         "row 1" + holds + "; the rows that match among the others were printed", "", "n3"},
        {{"get", "items", "name", "--where", "id=1"}, {3}, kExitFailure, "b\n",
         "row 3" + holds + "; the rows that match among the others were printed", "", "n3"},
        {{"get", "items", "--where", "name=b", "--format", "ndjson"}, {2, 4}, kExitFailure,
         "{\"id\":\"1\",\"name\":\"b\",\"note\":\"n1\"}\n{\"id\":\"3\",\"name\":\"b\",\"note\":\"n3\"}\n",
         "rows 2, 4" + hold + "; the rows that match among the others were printed", "", "n3"},
        {{"get", "items", "--where", "id=9"}, {1, 2}, kExitFailure, "",
         "no row of table 'items' matches among those read; rows 1-2" + hold, "", "n3"},
        // By number only the row itself counts.
        {{"get", "items", "3", "note"}, {1, 4}, 0, "n3\n", "", "", "n3"},
        // set: the one readable match is written, the rows skipped are named.
        {{"set", "items", "note", "x", "--where", "id=3"}, {1, 4}, 0, "x\n", "", "vordex: rows 1, 4" + hold + "\n",
         "x"},
        {{"set", "items", "note", "x", "--where", "id=3", "--where", "name=b"}, {4}, 0, "x\n", "",
         "vordex: row 4" + holds + "\n", "x"},
        {{"set", "items", "note", "x", "--where", "id=9"}, {2}, kExitFailure, "",
         "0 rows of table 'items' match among those read; set writes only when exactly one does, and wrote nothing",
         "vordex: row 2" + holds + "\n", "n3"},
        {{"set", "items", "note", "x", "--where", "name=b"}, {2}, kExitFailure, "",
         "2 rows of table 'items' match among those read; set writes only when exactly one does, and wrote nothing",
         "vordex: row 2" + holds + "\n", "n3"},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words) + " " + testing::PrintToString(c.longRows));
        SetUp();
        Fake().rows = {{"0", "a", "n0"}, {"1", "b", "n1"}, {"2", "c", "n2"}, {"3", "b", "n3"}, {"4", "e", "n4"}};
        Fake().longValueRows = c.longRows;
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.err.substr(outcome.err.size() - std::min(outcome.err.size(), c.note.size())), c.note);
        EXPECT_EQ(Fake().rows[3][2], c.written);
        EXPECT_EQ(Fake().updateCalls, c.written == "x" ? 1 : 0);
        // The library says why for every row skipped, once; rows by number
        // never move onto them.
        const size_t messages = c.words[0] == "get" && c.words[2] == "3" ? 0 : c.longRows.size();
        size_t lines = 0;
        for (size_t at = 0; (at = outcome.err.find("VORDEX: ", at)) != std::string::npos; ++at) ++lines;
        EXPECT_EQ(lines, messages) << outcome.err;
        ExpectClosed();
    }

    // Without the library's messages vordex cannot tell why a move failed.
    SetUp();
    Fake().longValueRows = {1};
    setenv("VORDEX_DIALOG", "none", 1);
    const Outcome silent = RunVordex({"set", "items", "name", "x", "--where", "id=3"});
    EXPECT_EQ(silent.status, kExitFailure);
    EXPECT_EQ(silent.reason, "cannot move past row 0 of table 'items'");
    EXPECT_EQ(Fake().updateCalls, 0);
    setenv("VORDEX_DIALOG", "stderr", 1);
}

TEST(StoredAsGiven, ComparesByWhatTheTextsMean) {
    const bool T = true, F = false;
    const struct {
        const char* given;
        const char* stored;
        bool same;
    } cases[] = {
        // clang-format off
        // Texts: the same, or CHAR padding; a cut, a case change or other blanks differ.
        {"abc", "abc", T}, {"ab", "ab   ", T}, {"ab", "ab\t", F}, {"ab  ", "ab", F}, {"a long value", "a long", F},
        {"abc", "ABC", F}, {"x", "", F}, {"", "0", F},
        // Numbers, by value.
        {"5", "5.0", T}, {"1e3", "1000", T}, {"007", "7", T}, {"-0", "0", T}, {"0.10", "1e-1", T}, {".5", "0.50", T},
        {"+2", "2", T}, {"5.", "5", T}, {"1.005", "1.01", F}, {"10", "1", F}, {"-5", "5", F}, {"100", "1e3", F},
        {"0.1", "0.100000001", F}, {"1e1234567", "1e1234568", F}, {"1-2", "1", F}, {"", "0.0", F},
        // Truth values, in any of the words data sources take and give.
        {"true", "1", T}, {"yes", "true", T}, {"TRUE", "t", T}, {"on", "1", T}, {"Y", "true", T}, {"no", "f", T},
        {"off", "F", T}, {"true", "0", F}, {"yes", "f", F}, {"2", "t", F}, {"yes!", "1", F},
        // Dates and times: the same day and time of day.
        {"2024-01-01", "2024-01-01 00:00:00", T}, {"2024-01-01 00:00:00", "2024-01-01", T},
        {"10:00:00.5", "10:00:00.500000", T}, {"2024-01-01 10:00:00", "2024-01-01", F},
        {"2024-01-01", "2024-01-02 00:00:00", F}, {"10:00:00.123456789", "10:00:00.123457", F},
        {"10:00:00", "2024-01-01 10:00:00", F}, {"2024-01-01T00:00:00", "2024-01-01 00:00:00", F},
        {"2024-1-1", "2024-01-01", F}, {"2024-02-30", "2024-03-01", F},
        {"2024-01-01 10:00:00.1234567891", "2024-01-01 10:00:00.123456789", F},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StoredAsGiven(c.given, c.stored), c.same) << "'" << c.given << "' stored as '" << c.stored << "'";
    }
}

TEST_F(Commands, AWideTableShowsItsFirst32ColumnsAndSaysSo) {
    Fake().columns.clear();
    std::vector<std::string> row;
    std::string header;
    std::string line;
    for (int i = 0; i < 40; ++i) {
        Fake().columns.push_back("c" + std::to_string(i));
        row.push_back("v" + std::to_string(i));
        if (i < 32) {
            header += (i > 0 ? "\t" : "") + Fake().columns.back();
            line += (i > 0 ? "\t" : "") + row.back();
        }
    }
    Fake().rows = {row, row};
    const std::string note = "vordex: table 'items' has 40 columns; only the first 32 are shown\n";

    const struct {
        Words words;
        std::string out;
    } cases[] = {
        {{"rows", "items"}, header + "\n" + line + "\n" + line + "\n"},
        {{"get", "items", "1"}, header + "\n" + line + "\n"},
        {{"get", "items", "1", "c31"}, "v31\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, 0) << outcome.reason;
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, note);
    }

    const Outcome columns = RunVordex({"columns", "items"});
    EXPECT_EQ(columns.err, note);
    EXPECT_EQ(std::count(columns.out.begin(), columns.out.end(), '\n'), 32);

    // Exactly 32 columns are all shown, without a note.
    Fake().columns.resize(32);
    const Outcome all = RunVordex({"columns", "items"});
    EXPECT_EQ(all.err, "");
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\n'), 32);
    Fake().columns.resize(40, "c");

    const Outcome hidden = RunVordex({"get", "items", "0", "c32"});
    EXPECT_EQ(hidden.status, kExitFailure);
    EXPECT_EQ(hidden.reason, "table 'items' has no column 'c32' among the first 32 (only those can be read)");
}

// A row is read with one VORDEX_ListText call; field by field only when that
// text cannot be split back into the values.
TEST_F(Commands, RowsReadFieldByFieldOnlyWhenTheRowTextIsNotReliable) {
    const std::string kLong(300, 'x');
    const struct {
        const char* what;
        std::vector<std::vector<std::string>> rows;
        bool listTextDoesNotFit;
        std::string out;
        bool readByField;
    } cases[] = {
        {"plain values", {{"1", "a", "b"}}, false, RowText("1^a^b^\n"), false},
        {"a value holding 0x1E", {{"1", RowText("a^b"), "c"}}, false, RowText("1^a^b^c^\n"), true},
        {"a row that did not fit", {{"1", kLong, "c"}}, true, RowText("1^" + kLong + "^c^\n"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fake().rows = c.rows;
        Fake().listTextDoesNotFit = c.listTextDoesNotFit;
        Fake().getDataCalls = 0;
        const Outcome raw = RunVordex({"rows", "items", "--format", "raw"});
        EXPECT_EQ(raw.status, 0) << raw.reason;
        EXPECT_EQ(raw.out, c.out);
        EXPECT_EQ(Fake().getDataCalls > 0, c.readByField);

        // In tsv the byte stays inside its value instead of splitting it.
        const Outcome tsv = RunVordex({"rows", "items"});
        EXPECT_EQ(tsv.out, "id\tname\tnote\n" + c.rows[0][0] + "\t" + c.rows[0][1] + "\t" + c.rows[0][2] + "\n");
    }
}

TEST_F(Commands, GetPrintsOneRowOrOneValue) {
    Fake().columns = {"id", "1", "name"};  // a column whose name is a number
    Fake().rows = {{"10", "one", "apple"}, {"20", "two", "pear\nlines"}, {"30", "one", "fig"}};
    const struct {
        Words words;
        std::string out;
    } cases[] = {
        {{"get", "items", "0"}, "id\t1\tname\n10\tone\tapple\n"},
        {{"get", "items", "1", "--format", "csv"}, "id,1,name\r\n20,two,\"pear\nlines\"\r\n"},
        {{"get", "items", "1", "--format", "raw"}, RowText("20^two^pear\nlines^\n")},
        {{"get", "items", "1", "name"}, "pear\nlines\n"},  // a single value is printed as it is
        {{"get", "items", "1", "2"}, "pear\nlines\n"},
        {{"get", "items", "0", "0"}, "10\n"},
        {{"get", "items", "0", "1"}, "one\n"},  // the name "1", not column number 1
        {{"get", "items", "001", "id"}, "20\n"},
        {{"get", "items", "--where", "1=one"}, "id\t1\tname\n10\tone\tapple\n30\tone\tfig\n"},  // one header
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, 0) << outcome.reason;
        EXPECT_EQ(outcome.out, c.out);
        ExpectClosed();
    }
}

TEST_F(Commands, FailuresGiveAReasonAndCloseTheConnection) {
    const struct {
        Words words;
        void (*setUp)();
        std::string reason;
        std::string out;  // what was printed before the failure
    } cases[] = {
        // clang-format off
        {{"columns", "nosuch"}, [] {}, "there is no table 'nosuch' (vordex tables lists them)", ""},
        {{"rows", "nosuch"}, [] {}, "there is no table 'nosuch' (vordex tables lists them)", ""},
        {{"get", "nosuch", "0"}, [] { Fake().tables.resize(32, "t"); },
         "there is no table 'nosuch' (vordex tables shows the first 32; name another schema's table as "
         "SCHEMA.TABLE)", ""},
        // Listed under two schemas: either could be meant.
        {{"set", "log", "v", "x", "--where", "id=1"},
         [] { Fake().tables = {"audit.log", "public.log", "public.s2.log"}; },
         "table 'log' is in several schemas (audit.log, public.log, public.s2.log): name one of them", ""},
        // Under one schema only: names that merely end in "log" are others.
        {{"get", "log", "9"},
         [] { Fake().tables = {"audit.log", "public.blog", "hr.catalog"}; Fake().tableName = "log"; },
         "there is no row 9 of table 'log' (rows are numbered from 0)", ""},
        // The library's messages are recognised in either language, in the
        // host's code page.
        {{"columns", "nosuch"}, [] { setenv("VORDEX_CODEPAGE", "932", 1); },
         "there is no table 'nosuch' (vordex tables lists them)", ""},
        {{"columns", "nosuch"}, [] { setenv("VORDEX_MESSAGES", "en", 1); },
         "there is no table 'nosuch' (vordex tables lists them)", ""},
        {{"rows", "items"}, [] { Fake().openRecFails = true; }, "cannot open table 'items' for reading", ""},
        {{"rows", "items"}, [] { Fake().longValueRows = {0}; },
         "row 0 of table 'items' holds a value longer than the library's limit of 255 bytes, and cannot be read "
         "(the library opens no table on a first row it cannot read)", ""},
        {{"get", "items", "1"}, [] { Fake().longValueRows = {1}; },
         "row 1 of table 'items' holds a value longer than the library's limit of 255 bytes, and cannot be read", ""},
        {{"get", "items", "0"}, [] { Fake().openRecFails = true; }, "cannot open table 'items' for reading", ""},
        {{"rows", "items"}, [] { Fake().moveNextFailsAtRow = 1; }, "cannot move past row 1 of table 'items'",
         "id\tname\tnote\n1\tapple\t\n2\tpear, green\tsay \"hi\"\n"},
        {{"get", "items", "3"}, [] {}, "there is no row 3 of table 'items' (rows are numbered from 0)", ""},
        {{"get", "items", "2147483647"}, [] {},
         "there is no row 2147483647 of table 'items' (rows are numbered from 0)", ""},
        {{"get", "items", "0", "nosuch"}, [] {}, "table 'items' has no column 'nosuch'", ""},
        {{"get", "items", "0", "3"}, [] {}, "table 'items' has no column '3'", ""},
        {{"get", "items", "0", "Name"}, [] {}, "table 'items' has no column 'Name'", ""},
        {{"tables"}, [] { Fake().tables.clear(); }, "no tables listed: the library's message above says why", ""},
        {{"tables"}, [] { Fake().tables.clear(); setenv("VORDEX_DIALOG", "none", 1); },
         "no tables listed (VORDEX_DIALOG=none hides the library's reason)", ""},
        {{"rows", "items"}, [] { Fake().tables.clear(); Fake().choiceCancelled = true; },
         "no data source was chosen: give --connect CONNECT or set VORDEX_CONNECT (without them the data source is "
         "chosen on the desktop or the terminal; there was none, or the choice was cancelled)", ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        SetUp();
        c.setUp();
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, kExitFailure);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.out, c.out);
        ExpectClosed();
    }
}

TEST_F(Commands, SetWritesOneFieldOfOneRow) {
    Fake().rows = {{"1", "one", ""}, {"2", "two", "x"}};
    const struct {
        Words words;
        void (*setUp)();
        int status;
        std::string stored;  // field 1 of the row with id 2 afterwards
        std::string out;
        std::string reason;
        std::string note;  // on standard error
    } cases[] = {
        // clang-format off
        {{"set", "items", "name", "zwei", "--where", "id=2"}, nullptr, 0, "zwei", "zwei\n", "", ""},
        {{"set", "items", "1", "--null", "--where=id=2", "--where", "name=two"}, nullptr, 0, "", "\n", "", ""},
        // Written, but not as VALUE: a status of its own.
        {{"set", "items", "name", "a long value", "--where", "id=2"}, [] { Fake().cutTo = 6; }, kExitStoredOtherwise,
         "a long", "a long\n",
         "the data source stored 'a long', not VALUE 'a long value', in column 'name' of table 'items'", ""},
        // Status 3 by what the value means: a cut number differs, trailing zeros do not.
        {{"set", "items", "name", "10", "--where", "id=2"}, [] { Fake().cutTo = 1; }, kExitStoredOtherwise, "1", "1\n",
         "the data source stored '1', not VALUE '10', in column 'name' of table 'items'", ""},
        {{"set", "items", "name", "5.0", "--where", "id=2"}, [] { Fake().cutTo = 1; }, 0, "5", "5\n", "", ""},
        {{"set", "items", "name", std::string(255, 'v'), "--where", "id=2"}, nullptr, 0, std::string(255, 'v'),
         std::string(255, 'v') + "\n", "", ""},
        {{"set", "items", "name", "x", "--where-null", "note"}, nullptr, 0, "x", "x\n", "", ""},
        {{"set", "items", "name", "x", "--row", "2"}, nullptr, 0, "x", "x\n", "", ""},
        // Not exactly one row: nothing is written.
        {{"set", "items", "name", "x", "--where", "id=9"}, nullptr, kExitFailure, "two", "",
         "0 rows of table 'items' match; set writes only when exactly one does, and wrote nothing", ""},
        {{"set", "items", "name", "x", "--where", "name=two"}, nullptr, kExitFailure, "two", "",
         "2 rows of table 'items' match; set writes only when exactly one does, and wrote nothing", ""},
        {{"set", "items", "name", "x", "--where", "id=2", "--where", "name=one"}, nullptr, kExitFailure, "two", "",
         "0 rows of table 'items' match; set writes only when exactly one does, and wrote nothing", ""},
        {{"set", "items", "name", "x", "--where", "nosuch=1"}, nullptr, kExitFailure, "two", "",
         "table 'items' has no column 'nosuch'", ""},
        {{"set", "items", "name", "x", "--where", "id=2"}, [] { Fake().updatable = false; }, kExitFailure, "two", "",
         "table 'items' cannot be written: the data source grants no write to it (a view, a table without a key the "
         "library can name rows by, or a server that takes no writes)", ""},
        {{"set", "items", "name", "x", "--where", "id=2"}, [] { Fake().updateFails = true; }, kExitFailure, "two", "",
         "cannot write column 'name' of table 'items'", ""},
        {{"set", "items", "name", "x", "--row", "3"}, nullptr, kExitFailure, "two", "",
         "there is no row 3 of table 'items' (rows are numbered from 0)", ""},
        {{"set", "items", "nosuch", "x", "--where", "id=2"}, nullptr, kExitFailure, "two", "",
         "table 'items' has no column 'nosuch'", ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        SetUp();
        Fake().rows = {{"1", "one", "n"}, {"3", "two", "y"}, {"2", "two", ""}};
        if (c.setUp != nullptr) c.setUp();
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, c.note);
        EXPECT_EQ(Fake().rows[2][1], c.stored);
        // The other rows are untouched.
        EXPECT_EQ(Fake().rows[0], (std::vector<std::string>{"1", "one", "n"}));
        EXPECT_EQ(Fake().rows[1], (std::vector<std::string>{"3", "two", "y"}));
        ExpectClosed();
    }
}

TEST_F(Commands, UsageErrorsComeBeforeTheLibraryIsLoaded) {
    const struct {
        Words words;
        std::string reason;
    } cases[] = {
        {{"get", "items", "x"}, "ROW must be a row number from 0 (the first row) to 2147483647, not 'x'"},
        {{"get", "items", "-1"}, "ROW must be a row number from 0 (the first row) to 2147483647, not '-1'"},
        {{"get", "items", "99999999999"},
         "ROW must be a row number from 0 (the first row) to 2147483647, not '99999999999'"},
        {{"get", "items", "1.5"}, "ROW must be a row number from 0 (the first row) to 2147483647, not '1.5'"},
        {{"get", "items"}, "usage: vordex get TABLE ROW [FIELD], or vordex get TABLE [FIELD] --where COLUMN=VALUE"},
        {{"get", "items", "a", "b", "--where", "id=1"}, "usage: vordex get TABLE [FIELD] --where COLUMN=VALUE ..."},
        {{"get", "items", "--where", "id=\xff"},
         "--where VALUE is not valid UTF-8 text, the code page the library takes it in (VORDEX_CODEPAGE, else the "
         "locale)"},
        {{"help", "nosuch"}, "no command 'nosuch' (see vordex --help)"},
        {{"get", "items", "0", "id", "--format", "csv"}, "--format does not apply to a single FIELD of get"},
        {{"columns", "items", "--format", "csv"}, "--format does not apply to columns"},
        {{"tables", "--format=raw"}, "--format does not apply to tables"},
        {{"columns", ""}, "TABLE must not be empty"},
        {{"rows", "\x95\x5c"},  // 表 in CP932, for a UTF-8 host
         "TABLE is not valid UTF-8 text, the code page the library takes it in (VORDEX_CODEPAGE, else the locale)"},
        {{"rows", ""}, "TABLE must not be empty"},
        {{"get", "", "0"}, "TABLE must not be empty"},
        {{"set", "items", "name", "--where", "id=1"},
         "usage: vordex set TABLE FIELD VALUE|--null --where COLUMN=VALUE ..."},
        {{"set", "items", "name", "v", "--null", "--where", "id=1"}, "give VALUE or --null, not both"},
        {{"set", "items", "name", "", "--where", "id=1"}, "VALUE is empty; to write NULL say --null"},
        {{"set", "items", "name", "\x93", "--where", "id=1"},
         "VALUE is not valid UTF-8 text, the code page the library takes it in (VORDEX_CODEPAGE, else the locale)"},
        {{"set", "items", "name", std::string(256, 'v'), "--where", "id=1"},
         "VALUE is 256 bytes; the library writes at most 255 bytes of a value, and set writes none cut short"},
        {{"set", "items", "name", "v"},
         "set needs --where COLUMN=VALUE to name the row it writes (see vordex help set)"},
        {{"set", "items", "0", "name", "v"},
         "set names its row with --where COLUMN=VALUE, not a row number (rows move when they are written): vordex set "
         "TABLE FIELD VALUE --where COLUMN=VALUE (see vordex help set)"},
        {{"set", "items", "name", "v", "--where", "id=1", "--row", "0"}, "give --where or --row, not both"},
        {{"get", "items", "0", "--row", "0"}, "--row applies to set only; get takes ROW as its second word"},
        {{"rows", "items", "--null"}, "--null applies only to set"},
        {{"set", "items", "name", "v", "--where", "id=1", "--format", "csv"}, "--format does not apply to set"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Joined(c.words));
        const Outcome outcome = RunVordex(c.words);
        EXPECT_EQ(outcome.status, kExitUsage);
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.libraryLoads, 0);
        EXPECT_EQ(outcome.out, "");
    }
}

TEST_F(Commands, TablesSaysWhenTheListMayBeCut) {
    Fake().tables.clear();
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        Fake().tables.push_back("t" + std::to_string(i));
        if (i < 32) expected += Fake().tables.back() + "\n";
    }
    const Outcome outcome = RunVordex({"tables"});
    EXPECT_EQ(outcome.status, 0) << outcome.reason;
    EXPECT_EQ(outcome.out, expected);
    EXPECT_EQ(outcome.err,
              "vordex: the library lists at most 32 tables, so there may be more; columns, rows, get and set open any "
              "table as SCHEMA.TABLE, and the data source's own client lists them all (psql \\dt *.*, sqlite3 "
              ".tables)\n");
}

TEST_F(Commands, HelpNeedsNoLibraryAndNamesEveryCommandOptionAndVariable) {
    const Outcome outcome = RunVordex({"help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.libraryLoads, 0);
    // clang-format off
    for (const char* word : {"tables", "columns TABLE", "rows TABLE", "get TABLE ROW [FIELD]", "--connect", "--format",
                             "--library", "--help", "--where COLUMN=VALUE", "--where-null", "--row N", "--version",
                             "VORDEX_CONNECT", "VORDEX_DIALOG", "VORDEX_CODEPAGE", "VORDEX_MESSAGES", "ODBCSYSINI",
                             "ODBCINI", "Exit status", "RFC 4180", "views", "\"DRIVER={PostgreSQL Unicode};",
                             "\"DRIVER={MariaDB Unicode};", "\"Driver=SQLite3;", "  3  set wrote", "SIGPIPE",
                             "LC_MESSAGES", "scan", "--format tsv|csv|raw|json|ndjson", "  json  ", "  ndjson  ",
                             "no total", "--where-null COLUMN     The rows whose COLUMN is NULL or the empty text",
                             "1e3\n                          and 1000", "might have\n                          matched"}) {
        // clang-format on
        EXPECT_NE(outcome.out.find(word), std::string::npos) << word;
    }
    // Driver names that Debian's /etc/odbcinst.ini does not have.
    EXPECT_EQ(outcome.out.find("{PostgreSQL}"), std::string::npos);
    // The part about one command.
    const Outcome set = RunVordex({"help", "set"});
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(set.out.rfind("  set TABLE FIELD VALUE --where", 0), 0u) << set.out;
    EXPECT_NE(set.out.find("Unsafe"), std::string::npos);
    EXPECT_EQ(set.out.find("rows TABLE"), std::string::npos);
}

}  // namespace
}  // namespace vordex::cli
