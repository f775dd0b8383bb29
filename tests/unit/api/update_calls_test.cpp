#include <string>
#include <vector>

#include "library_test_support.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

const std::string kFixedLine = MessageLine("ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました.");

/// Lists table T with these columns and catalog lengths and opens it over one row.
int OpenWithLengths(const std::vector<std::pair<std::string, int>>& columns, const std::vector<fake_odbc::Value>& row) {
    std::vector<fake_odbc::Column> resultColumns;
    for (const auto& column : columns) resultColumns.push_back({column.first});
    fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows(columns));
    fake_odbc::QueueResult(resultColumns, {row});
    VORDEX_Open("T");
    return VORDEX_OpenRec();
}

/// The indicators SQLSetPos saw at the last write ("" when none ran).
std::string LastSetPosIndicators() {
    const auto calls = fake_odbc::CallsTo("SQLSetPos");
    if (calls.empty()) return "";
    const std::string& arguments = calls.back().arguments;
    return arguments.substr(arguments.find('|') + 1);
}

using UpdateCalls = LibraryCallTest;

TEST_F(UpdateCalls, ValuesAreCutToTheColumnAtWholeCharacters) {
    struct Case {
        const char* what;
        int catalogLength;
        std::string value;
        std::string written;
        const char* codePage;
    };
    const std::string utf8Tokyo = "東京都";  // 9 bytes
    const std::string cp932Tokyo = "\x93\x8C\x8B\x9E\x93\x73";  // 6 bytes in CP932
    const Case cases[] = {
        {"fits", 10, "abc", "abc", "65001"},
        {"30 bytes into 10", 10, std::string(30, 'x'), std::string(10, 'x'), "65001"},
        {"5 digits into an integer", 4, "12345", "1234", "65001"},
        {"1200 bytes into 1000", 1000, std::string(1200, 'y'), std::string(255, 'y'), "65001"},
        {"exactly the length", 4, "abcd", "abcd", "65001"},
        {"length read as unsigned", -1, std::string(300, 'z'), std::string(255, 'z'), "65001"},
        {"UTF-8 cut before a split character", 8, utf8Tokyo, "東京", "65001"},
        {"UTF-8 that fits", 9, utf8Tokyo, utf8Tokyo, "65001"},
        {"CP932 cut before a split character", 5, cp932Tokyo, cp932Tokyo.substr(0, 4), "932"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_odbc::Reset();
        VORDEX_Close();
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        ASSERT_EQ(OpenWithLengths({{"ID", 4}, {"V", c.catalogLength}}, {"1", "old"}), 1);
        EXPECT_EQ(VORDEX_Update(1, c.value.c_str()), 1);
        EXPECT_EQ(std::string(VORDEX_GetData(1)), c.written);
        EXPECT_EQ(LastSetPosIndicators(), "-6," + std::to_string(c.written.size()));
    }
}

TEST_F(UpdateCalls, WhatIsWrittenAndWhen) {
    ASSERT_EQ(OpenWithLengths({{"ID", 4}, {"NAME", 40}, {"NOTE", 40}}, {"1", "a", ""}), 1);
    // The value the field holds: done, nothing written.
    EXPECT_EQ(VORDEX_Update(1, "a"), 1);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 0);
    // An empty value writes NULL; the untouched empty NOTE is left alone.
    EXPECT_EQ(VORDEX_Update(1, ""), 1);
    EXPECT_EQ(LastSetPosIndicators(), "-6,-1,-6");
    EXPECT_EQ(activeRecord->EditMode, 0);
    // Invalid input writes nothing and shows nothing.
    int result = -1;
    EXPECT_EQ(Shown([&] { result = VORDEX_Update(3, "x") + VORDEX_Update(-1, "x") + VORDEX_Update(0, nullptr); }), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 1);

    // Past the last row: the fixed text.
    ASSERT_EQ(VORDEX_MoveNext(), 1);
    ASSERT_NE(VORDEX_IsEOF(), 0);
    EXPECT_EQ(Shown([&] { result = VORDEX_Update(1, "late"); }), kFixedLine);
    EXPECT_EQ(result, 0);
}

TEST_F(UpdateCalls, TheDriversRefusalIsShown) {
    ASSERT_EQ(OpenWithLengths({{"ID", 4}, {"NAME", 40}}, {"1", "a"}), 1);
    fake_odbc::QueueFailure("SQLSetPos", SQL_ERROR, {{"42501", 1, "[fake]permission denied for table t"}});
    int result = -1;
    const std::string shown = Shown([&] { result = VORDEX_Update(1, "b"); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(shown.find("permission denied for table t"), std::string::npos) << shown;
}

TEST_F(UpdateCalls, CanUpdateAndTheLengthsOfTheLastListing) {
    EXPECT_EQ(VORDEX_CanUpdate(0), 0);  // no record
    ASSERT_EQ(OpenWithLengths({{"ID", 4}, {"NAME", 40}}, {"1", "a"}), 1);
    struct Case {
        int index;
        int expected;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{2, 0}, Case{-1, 0}, Case{32, 0}}) {
        EXPECT_EQ(VORDEX_CanUpdate(c.index), c.expected) << c.index;
    }

    // Another table listed while the record stays open: its lengths cut.
    fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"X", 4}, {"Y", 2}}));
    ASSERT_EQ(VORDEX_Open("U"), 2);
    EXPECT_EQ(VORDEX_Update(1, "wxyz"), 1);
    EXPECT_STREQ(VORDEX_GetData(1), "wx");

    // A record that does not allow updates: 0 from both, silently.
    activeRecord->UpdateAllowed = 0;
    EXPECT_EQ(VORDEX_CanUpdate(0), 0);
    int result = -1;
    EXPECT_EQ(Shown([&] { result = VORDEX_Update(1, "q"); }), "");
    EXPECT_EQ(result, 0);
}

}  // namespace
