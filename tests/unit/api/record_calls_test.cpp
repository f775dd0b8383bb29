#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "library_test_support.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

const std::string kFixedLine = MessageLine("ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました.");
const std::string kTooLongToRead = MessageLine("値が255バイトを超えるため, 行を読めません.");

// Calls of `function` made after the record's statement was prepared.
int CallsAfterPrepare(const std::string& function) {
    int count = -1;
    for (const fake_odbc::Call& call : fake_odbc::Calls()) {
        if (call.function == "SQLPrepare") count = 0;
        if (count >= 0 && call.function == function) ++count;
    }
    return count;
}

using RecordCalls = LibraryCallTest;

TEST_F(RecordCalls, OpenSelectsTheListedColumnsOnce) {
    ASSERT_EQ(OpenRecordOver({"ID", "NAME"}, {{"1", "a"}}), 1);
    const auto prepared = fake_odbc::CallsTo("SQLPrepare");
    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_EQ(prepared[0].arguments, "SELECT \"ID\",\"NAME\"  FROM \"T\" WHERE 1=1");
    const auto options = fake_odbc::CallsTo("SQLSetStmtOption");
    EXPECT_TRUE(std::any_of(options.begin(), options.end(), [](const fake_odbc::Call& call) {
        return call.arguments == "6,1";  // keyset-driven cursor
    }));
    // A record is held: no second open.
    EXPECT_EQ(VORDEX_OpenRec(), 1);
    EXPECT_EQ(fake_odbc::CountCalls("SQLPrepare"), 1);
    EXPECT_STREQ(activeRecord->GetRuntimeClass()->ClassName, "CMyRec");
}

TEST_F(RecordCalls, NamesReachTheStatementAsIdentifiers) {
    struct Case {
        const char* table;
        std::vector<std::string> columns;
        const char* owner;        // TABLE_OWNER of the listed columns
        SQLUINTEGER ownerUsage;   // SQL_OWNER_USAGE
        bool bySetPos;            // the driver writes through SQLSetPos (else positioned SQL)
        const char* sent;
        int canUpdate;  // a name with the quote char cannot go into the driver's own statements
        const char* quote = "\"";  // SQL_IDENTIFIER_QUOTE_CHAR
    };
    const std::vector<std::string> id = {"ID"};
    const std::vector<std::string> odd = {"v FROM victim; DELETE FROM victim; --", "two words", "CamelCol", "select",
                                          "it's", "a\"q", "b]c"};
    const char* oddSelect =
        "SELECT \"v FROM victim; DELETE FROM victim; --\",\"two words\",\"CamelCol\",\"select\",\"it's\","
        "\"a\"\"q\",\"b]c\"  FROM \"T\"";
    const Case cases[] = {
        {"Orders", id, "public", 0, true, "SELECT \"ID\"  FROM \"Orders\"", 1},
        {"a\"; DROP TABLE x; --", id, "public", 0, true, "SELECT \"ID\"  FROM \"a\"\"; DROP TABLE x; --\"", 0},
        {"a\"; DROP TABLE x; --", id, "public", 0, false, "SELECT \"ID\"  FROM \"a\"\"; DROP TABLE x; --\"", 1},
        {"b]c", id, "public", 0, true, "SELECT \"ID\"  FROM \"b]c\"", 1},
        {"T", odd, "public", 0, true, oddSelect, 0},
        {"T", odd, "public", 0, false, oddSelect, 1},
        {"T", {"v FROM victim; DELETE FROM victim; --", "two words", "select", "it's"}, "public", 0, true,
         "SELECT \"v FROM victim; DELETE FROM victim; --\",\"two words\",\"select\",\"it's\"  FROM \"T\"", 1},
        // The owner qualifies the table where data statements take one.
        {"t", {"id"}, "audit", SQL_OU_DML_STATEMENTS, true, "SELECT \"id\"  FROM \"audit\".\"t\"", 1},
        {"t", {"id"}, "it's \"x\"", SQL_OU_DML_STATEMENTS | SQL_OU_TABLE_DEFINITION, true,
         "SELECT \"id\"  FROM \"it's \"\"x\"\"\".\"t\"", 0},
        {"t", {"id"}, "audit", SQL_OU_TABLE_DEFINITION, true, "SELECT \"id\"  FROM \"t\"", 1},
        {"t", {"id"}, "", SQL_OU_DML_STATEMENTS, true, "SELECT \"id\"  FROM \"t\"", 1},
        // A driver that quotes nothing: only plain identifiers (letters,
        // digits, "_", any non-ASCII character) stand for themselves.
        {"東京", {"名前"}, "", 0, true, "SELECT  名前   FROM  東京 ", 1, " "},
        {"t", {"two words"}, "", 0, true, "SELECT  two words   FROM  t ", 0, " "},
        {"t-x", {"id"}, "", 0, true, "SELECT  id   FROM  t-x ", 0, " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sent) + (c.bySetPos ? " by SQLSetPos" : " by SQL"));
        fake_odbc::Reset();
        VORDEX_Close();
        fake_odbc::SetInfoNumber(SQL_OWNER_USAGE, c.ownerUsage);
        fake_odbc::SetInfoText(SQL_IDENTIFIER_QUOTE_CHAR, c.quote);
        if (!c.bySetPos) fake_odbc::SetInfoNumber(SQL_POS_OPERATIONS, SQL_POS_POSITION);
        std::vector<CatalogColumn> listed;
        std::vector<fake_odbc::Column> resultColumns;
        for (const std::string& name : c.columns) {
            listed.emplace_back(name, 40);
            resultColumns.push_back({name});
        }
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows(listed, c.owner));
        fake_odbc::QueueResult(resultColumns, {std::vector<fake_odbc::Value>(c.columns.size(), "v")});
        ASSERT_EQ(VORDEX_Open(c.table), static_cast<int>(c.columns.size()));
        ASSERT_EQ(VORDEX_OpenRec(), 1);
        EXPECT_EQ(fake_odbc::CallsTo("SQLPrepare").at(0).arguments, std::string(c.sent) + " WHERE 1=1");
        EXPECT_EQ(VORDEX_CanUpdate(0), c.canUpdate);
    }
}

TEST_F(RecordCalls, WalkSeekAndEnd) {
    ASSERT_EQ(OpenRecordOver({"ID", "NAME"}, {{"1", "a"}, {"2", std::nullopt}, {"3", "c"}}), 1);
    EXPECT_EQ(VORDEX_IsEOF(), 0);
    EXPECT_STREQ(VORDEX_GetData(1), "a");
    EXPECT_EQ(VORDEX_MoveNext(), 1);
    EXPECT_STREQ(VORDEX_GetData(1), "");  // NULL
    EXPECT_EQ(VORDEX_Seek(2), 1);
    EXPECT_STREQ(VORDEX_GetData(0), "3");
    EXPECT_EQ(fake_odbc::CallsTo("SQLExtendedFetch").back().arguments, "5,3");
    EXPECT_EQ(VORDEX_Seek(0), 1);
    EXPECT_STREQ(VORDEX_GetData(0), "1");
    // Rows count from 0: a negative row is no row, and nothing moves.
    const int fetches = fake_odbc::CountCalls("SQLExtendedFetch");
    EXPECT_EQ(Shown([&] { EXPECT_EQ(VORDEX_Seek(-1) + VORDEX_Seek(-2) + VORDEX_Seek(INT_MIN), 0); }), "");
    EXPECT_EQ(fake_odbc::CountCalls("SQLExtendedFetch"), fetches);
    EXPECT_STREQ(VORDEX_GetData(0), "1");
    EXPECT_EQ(VORDEX_Seek(2), 1);
    // The last row: the next move goes past it, one more fails.
    EXPECT_EQ(VORDEX_MoveNext(), 1);
    EXPECT_NE(VORDEX_IsEOF(), 0);
    // Past the end there is no row to hand out, though the members still
    // hold the last one.
    EXPECT_STREQ(activeRecord->Values[0].c_str(), "3");
    EXPECT_STREQ(VORDEX_GetData(0), "");
    char row[16] = "#";
    EXPECT_EQ(VORDEX_ListText(row, sizeof row), 0);
    EXPECT_STREQ(row, "");
    int moved = -1;
    EXPECT_EQ(Shown([&] { moved = VORDEX_MoveNext(); }), kFixedLine);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(Shown([&] { moved = VORDEX_Seek(INT_MAX); }), "");  // past the end, without overflow
    EXPECT_EQ(fake_odbc::CallsTo("SQLExtendedFetch").back().arguments, "5," + std::to_string(INT_MAX));
    EXPECT_EQ(moved, 1);
    EXPECT_NE(VORDEX_IsEOF(), 0);

    VORDEX_CloseRec();
    EXPECT_EQ(activeRecord, nullptr);
    EXPECT_EQ(VORDEX_IsEOF(), 1);
    EXPECT_EQ(Shown([&] { moved = VORDEX_MoveNext() + VORDEX_Seek(0); }), "");
    EXPECT_EQ(moved, 0);
    EXPECT_STREQ(VORDEX_GetData(0), "");
}

TEST_F(RecordCalls, ListTextWritesWhatFits) {
    struct Case {
        std::vector<fake_odbc::Value> row;
        int size;
        std::string expected;  // the buffer up to and including its NUL
        int result;
    };
    const Case cases[] = {
        {{"ab", "c", ""}, 100, std::string("ab\x1E" "c\x1E\x1E", 6) + '\0', 3},
        {{"ab", "c", std::nullopt}, 100, std::string("ab\x1E" "c\x1E\x1E", 6) + '\0', 3},
        {{"abc", "de"}, 6, std::string("abc\x1E", 4) + '\0', 6},
        {{"abc", "de"}, 8, std::string("abc\x1E", 4) + '\0', 8},
        {{"abc", "de"}, 9, std::string("abc\x1E" "de\x1E", 7) + '\0', 2},
        {{"abc", "de"}, 1, std::string(1, '\0'), 1},
    };
    for (const Case& c : cases) {
        fake_odbc::Reset();
        VORDEX_Close();
        std::vector<std::string> columns;
        for (size_t i = 0; i < c.row.size(); ++i) columns.push_back("C" + std::to_string(i));
        ASSERT_EQ(OpenRecordOver(columns, {c.row}), 1);
        std::vector<char> buffer(static_cast<size_t>(c.size) + 4, '#');
        EXPECT_EQ(VORDEX_ListText(buffer.data(), c.size), c.result);
        EXPECT_EQ(std::string(buffer.data(), c.expected.size()), c.expected) << c.size;
        EXPECT_EQ(buffer[static_cast<size_t>(c.size)], '#');  // nothing past the size
    }

    // No buffer, no room or no record: nothing written.
    char sentinel[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(VORDEX_ListText(nullptr, 100), 0);
    EXPECT_EQ(VORDEX_ListText(sentinel, 0), 0);
    EXPECT_EQ(VORDEX_ListText(sentinel, -1), 0);
    VORDEX_CloseRec();
    EXPECT_EQ(VORDEX_ListText(sentinel, 4), 0);
    EXPECT_EQ(std::string(sentinel, 4), "####");
}

TEST_F(RecordCalls, FieldCountIsTheListsAtTheTimeOfTheCall) {
    // 40 columns listed, 32 read.
    std::vector<std::string> columns;
    std::vector<fake_odbc::Value> row;
    for (int i = 0; i < 40; ++i) {
        columns.push_back("C" + std::to_string(i));
        row.push_back("v" + std::to_string(i));
    }
    fake_odbc::Reset();
    ASSERT_EQ(OpenRecordOver(columns, {row}), 1);
    EXPECT_EQ(CallsAfterPrepare("SQLBindCol"), 32);
    EXPECT_STREQ(VORDEX_GetData(31), "v31");
    EXPECT_STREQ(VORDEX_GetData(32), "");
    char buffer[512];
    EXPECT_EQ(VORDEX_ListText(buffer, sizeof buffer), 32);

    // Another table listed while the record stays open: its count applies.
    fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"X", 4}, {"Y", 4}}));
    ASSERT_EQ(VORDEX_Open("U"), 2);
    EXPECT_EQ(VORDEX_ListText(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer), "v0\x1Ev1\x1E");
    EXPECT_STREQ(VORDEX_GetData(2), "");
}

TEST_F(RecordCalls, AFailedMoveLeavesNoRowToReadOrWrite) {
    // The second row holds a value longer than the bound storage.
    ASSERT_EQ(OpenRecordOver({"ID", "NOTE"}, {{"1", "a"}, {"2", std::string(300, 'x')}, {"3", "c"}}), 1);
    EXPECT_EQ(Shown([] { EXPECT_EQ(VORDEX_MoveNext(), 0); }), kTooLongToRead);
    {
        // In English on request; the same row fails the same way.
        ScopedEnv english("VORDEX_MESSAGES", "en");
        EXPECT_EQ(Shown([] { EXPECT_EQ(VORDEX_Seek(1), 0); }),
                  "VORDEX: A value is longer than 255 bytes, so the row cannot be read.\n");
    }
    EXPECT_EQ(VORDEX_IsEOF(), 0);
    EXPECT_STREQ(VORDEX_GetData(0), "");
    EXPECT_STREQ(VORDEX_GetData(1), "");
    char row[512] = "#";
    EXPECT_EQ(VORDEX_ListText(row, sizeof row), 0);
    EXPECT_STREQ(row, "");
    // Nothing is written into a row the host has not seen.
    EXPECT_EQ(Shown([] { EXPECT_EQ(VORDEX_Update(1, "y"), 0); }), kFixedLine);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 0);
    // The next row reads again.
    EXPECT_EQ(VORDEX_MoveNext(), 1);
    EXPECT_STREQ(VORDEX_GetData(0), "3");
    EXPECT_EQ(VORDEX_ListText(row, sizeof row), 2);
    EXPECT_STREQ(row, "3\x1E" "c\x1E");
}

TEST_F(RecordCalls, FailedOpensLeaveNoRecordAndNoConnection) {
    // A value too long for its buffer on the first row.
    int opened = -1;
    EXPECT_EQ(Shown([&] { opened = OpenRecordOver({"ID", "NOTE"}, {{"1", std::string(300, 'x')}}); }),
              kTooLongToRead);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(activeRecord, nullptr);
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(VORDEX_IsOpen(), 1);

    // The statement fails at the driver, updatable and read-only: the
    // read-only attempt's failure is shown (a view that timed out, not its
    // missing ctid).
    fake_odbc::Reset();
    fake_odbc::QueueFailure("SQLExecute", SQL_ERROR, {{"42703", 7, "[fake]column ctid does not exist"}});
    fake_odbc::QueueFailure("SQLExecute", SQL_ERROR, {{"57014", 7, "[fake]canceling statement due to statement timeout"}});
    std::string shown = Shown([&] { opened = OpenRecordOver({"ID"}, {}); });
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(shown, MessageLine("canceling statement due to statement timeout\n"));
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(fake_odbc::LiveStatements(), 0);
}

TEST_F(RecordCalls, OpenBeforeAnyListingMakesItsOwnConnection) {
    int opened = -1;
    EXPECT_EQ(Shown([&] { opened = VORDEX_OpenRec(); }), kFixedLine);  // no columns to select
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(VORDEX_IsOpen(), 0);
    EXPECT_EQ(fake_odbc::CallsTo("SQLDriverConnect").at(0).arguments.find("DSN=S,"), 0u);
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(fake_odbc::LiveEnvironments(), 0);
}

TEST_F(RecordCalls, CloseAlsoClosesARecordWithItsOwnConnection) {
    // The field list outlives VORDEX_Close; a record opened afterwards has a
    // connection of its own, which VORDEX_Close must not leave behind.
    ASSERT_EQ(OpenRecordOver({"ID"}, {{"1"}}), 1);
    VORDEX_Close();
    fake_odbc::QueueResult({{"ID"}}, {{"1"}});
    ASSERT_EQ(VORDEX_OpenRec(), 1);
    EXPECT_EQ(VORDEX_IsOpen(), 0);
    EXPECT_EQ(fake_odbc::LiveConnections(), 1);
    VORDEX_Close();
    EXPECT_EQ(activeRecord, nullptr);
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(fake_odbc::LiveStatements(), 0);
}

}  // namespace
