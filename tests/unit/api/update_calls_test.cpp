#include <string>
#include <vector>

#include "library_test_support.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

const std::string kFixedLine = MessageLine("ODBCﾄﾞﾗｲﾊﾞで回復できないエラーが発生しました.");

/// Lists table T with these columns and catalog lengths and opens it over one row.
int OpenWithLengths(const std::vector<CatalogColumn>& columns, const std::vector<fake_odbc::Value>& row) {
    std::vector<fake_odbc::Column> resultColumns;
    for (const CatalogColumn& column : columns) resultColumns.push_back({column.name});
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

TEST_F(UpdateCalls, OnlyCharacterValuesAreCutAndOthersNeverChange) {
    struct Case {
        const char* what;
        int catalogLength;
        int sqlType;
        std::string value;
        std::string written;  // empty: refused, nothing written
        const char* codePage;
        const char* typeName = "varchar";
        int size = -1;  // the column size in characters; by default the length
    };
    const std::string tooLong = MessageLine("値が長すぎるため書き込めません (255バイトまで).");
    const std::string dateTimeForm = MessageLine(
        "日付と時刻は yyyy-mm-dd, hh:mm:ss[.fffffffff], yyyy-mm-dd hh:mm:ss[.fffffffff] の形で書いて下さい.");
    const std::string binaryForm = MessageLine("バイナリ値は 00ff10 のように16進数字2桁ずつで書いて下さい.");
    const std::string utf8Tokyo = "東京都";  // 9 bytes
    const std::string cp932Tokyo = "\x93\x8C\x8B\x9E\x93\x73";  // 6 bytes in CP932
    const std::string uuid = "123e4567-e89b-12d3-a456-426614174000";
    std::string cp932A127;  // 127 あ, 254 bytes
    for (int i = 0; i < 127; ++i) cp932A127 += "\x82\xA0";
    const Case cases[] = {
        {"fits", 10, SQL_VARCHAR, "abc", "abc", "65001"},
        {"30 bytes into 10", 10, SQL_VARCHAR, std::string(30, 'x'), std::string(10, 'x'), "65001"},
        {"1200 bytes into 1000", 1000, SQL_VARCHAR, std::string(1200, 'y'), std::string(255, 'y'), "65001"},
        {"exactly the length", 4, SQL_CHAR, "abcd", "abcd", "65001"},
        {"length read as unsigned", -1, SQL_LONGVARCHAR, std::string(300, 'z'), std::string(255, 'z'), "65001"},
        // Without a column size the length cuts, in bytes.
        {"UTF-8 cut before a split character", 8, SQL_VARCHAR, utf8Tokyo, "東京", "65001", "varchar", 0},
        {"UTF-8 that fits", 9, SQL_VARCHAR, utf8Tokyo, utf8Tokyo, "65001", "varchar", 0},
        {"national character type", 8, SQL_WVARCHAR, utf8Tokyo, "東京", "65001", "varchar", 0},
        {"CP932 cut before a split character", 5, SQL_WCHAR, cp932Tokyo, cp932Tokyo.substr(0, 4), "932", "varchar", 0},
        // The column size counts characters, whatever the length says
        // (SQLite's varchar(2): 2; psqlODBC's: 8 bytes).
        {"UTF-8 characters", 2, SQL_VARCHAR, utf8Tokyo, "東京", "65001", "varchar", 2},
        {"CP932 characters", 8, SQL_VARCHAR, cp932Tokyo, cp932Tokyo.substr(0, 4), "932", "varchar", 2},
        {"127 characters into 130", 130, SQL_VARCHAR, cp932A127, cp932A127, "932", "varchar", 130},
        {"no type name (SQLite, no declared type)", 255, SQL_VARCHAR, std::string(300, 'u'), std::string(255, 'u'),
         "65001", "", 0},
        // Other types pass unchanged, whatever their catalog length says.
        {"5 digits into an integer", 4, SQL_INTEGER, "12345", "12345", "65001"},
        {"bigint", 8, SQL_BIGINT, "9007199254740993", "9007199254740993", "65001"},
        {"real", 4, SQL_REAL, "3.1415927", "3.1415927", "65001"},
        {"timestamp", 16, SQL_TYPE_TIMESTAMP, "2024-02-29 23:59:58.123456", "2024-02-29 23:59:58.123456", "65001"},
        {"uuid", 16, SQL_GUID, uuid, uuid, "65001"},
        {"invalid for the type", 4, SQL_INTEGER, "not a number", "not a number", "65001"},
        {"date", 6, SQL_TYPE_DATE, "9999-12-31", "9999-12-31", "65001"},
        {"time", 6, SQL_TYPE_TIME, "23:59:59.999999", "23:59:59.999999", "65001"},
        {"timestamp of a date", 16, SQL_TIMESTAMP, "2024-02-29", "2024-02-29", "65001"},
        {"NULL into a date", 6, SQL_DATE, "", "", "65001"},
        // What does not fit the bound storage is refused, never cut.
        {"binary over 255 bytes", -4, SQL_LONGVARBINARY, std::string(300, 'f'), "", "65001"},
        {"numeric over 255 bytes", 22, SQL_NUMERIC, std::string(256, '9'), "", "65001"},
        // Dates and times only in ODBC's forms, which drivers cannot misread.
        {"T between date and time", 16, SQL_TYPE_TIMESTAMP, "2024-02-29T23:59:59", "", "65001"},
        {"zone offset", 16, SQL_TYPE_TIMESTAMP, "2024-02-29 23:59:59+09", "", "65001"},
        {"ten fraction digits", 16, SQL_TYPE_TIMESTAMP, "2024-02-29 23:59:59.1234567890", "", "65001"},
        {"short date", 6, SQL_TYPE_DATE, "2024-2-3", "", "65001"},
        {"time without seconds", 6, SQL_TIME, "23:59", "", "65001"},
        {"words", 6, SQL_TYPE_DATE, "today", "", "65001"},
        {"a dot and no fraction", 6, SQL_TYPE_TIME, "23:59:59.", "", "65001"},
        {"nine fraction digits", 16, SQL_TYPE_TIMESTAMP, "2024-02-29 23:59:05.999999999", "2024-02-29 23:59:05.999999999",
         "65001"},
        // Character columns that are not free text (psqlODBC: boolean, bit(n))
        // pass whole: a cut could make another valid value.
        {"boolean", 5, SQL_VARCHAR, "falseX", "falseX", "65001", "bool"},
        {"bit(4)", 4, SQL_CHAR, "10101", "10101", "65001", "bit"},
        {"free text by its name", 4, SQL_WVARCHAR, "abcdef", "abcd", "65001", "character varying"},
        {"boolean of 255 bytes", 5, SQL_VARCHAR, std::string(255, 't'), std::string(255, 't'), "65001", "bool"},
        {"boolean over 255 bytes", 5, SQL_VARCHAR, std::string(256, 't'), "", "65001", "bool"},
        // Binary: hex digits two a byte, exactly what it reads as.
        {"binary", 4, SQL_VARBINARY, "00ff10Ab", "00ff10Ab", "65001", "bytea"},
        {"binary of 255 bytes", -4, SQL_LONGVARBINARY, std::string(255, 'f'), "", "65001", "bytea"},
        {"odd hex digits", 4, SQL_VARBINARY, "abc", "", "65001", "bytea"},
        {"not hex", 4, SQL_VARBINARY, "zz", "", "65001", "bytea"},
        {"escaped form", 4, SQL_LONGVARBINARY, "\\x00ff10", "", "65001", "bytea"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake_odbc::Reset();
        VORDEX_Close();
        ScopedEnv codePage("VORDEX_CODEPAGE", c.codePage);
        ASSERT_EQ(
            OpenWithLengths({{"ID", 4, SQL_INTEGER}, {"V", c.catalogLength, c.sqlType, c.typeName, c.size}}, {"1", "old"}),
            1);
        int result = -1;
        const std::string shown = Shown([&] { result = VORDEX_Update(1, c.value.c_str()); });
        if (c.written.empty() && !c.value.empty()) {
            EXPECT_EQ(result, 0);
            const bool binary = c.sqlType == SQL_VARBINARY || c.sqlType == SQL_LONGVARBINARY;
            EXPECT_EQ(shown, c.value.size() > 255 ? tooLong : binary ? binaryForm : dateTimeForm);
            EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 0);
            EXPECT_STREQ(VORDEX_GetData(1), "old");
            continue;
        }
        EXPECT_EQ(result, 1);
        EXPECT_EQ(shown, "");
        EXPECT_EQ(std::string(VORDEX_GetData(1)), c.written);
        EXPECT_EQ(LastSetPosIndicators(), "-6," + (c.written.empty() ? "-1" : std::to_string(c.written.size())));
    }
}

TEST_F(UpdateCalls, ComposedStatementsQuoteTheTableItsOwnerAndEveryColumn) {
    // A driver without SQLSetPos writes: the library composes the statements.
    fake_odbc::SetInfoNumber(SQL_POS_OPERATIONS, SQL_POS_POSITION);
    fake_odbc::SetInfoNumber(SQL_OWNER_USAGE, SQL_OU_DML_STATEMENTS);
    std::vector<fake_odbc::Column> resultColumns = {{"id"}, {"two words"}, {"a\"q"}};
    fake_odbc::QueueResult(ColumnCatalogColumns(),
                           ColumnRows({{"id", 4, SQL_INTEGER}, {"two words", 40}, {"a\"q", 40}}, "my schema"));
    fake_odbc::QueueResult(resultColumns, {{"1", "a", "b"}});
    ASSERT_EQ(VORDEX_Open("T"), 3);
    ASSERT_EQ(VORDEX_OpenRec(), 1);
    ASSERT_EQ(VORDEX_CanUpdate(2), 1);
    const int timeouts = static_cast<int>(fake_odbc::CallsTo("SQLSetStmtOption").size());
    EXPECT_EQ(VORDEX_Update(1, "x"), 1);
    // The statement that writes is given the query time-out too.
    EXPECT_EQ(fake_odbc::CallsTo("SQLSetStmtOption").size(), static_cast<size_t>(timeouts) + 1);
    EXPECT_EQ(fake_odbc::CallsTo("SQLSetStmtOption").back().arguments, std::to_string(SQL_QUERY_TIMEOUT) + ",15");
    EXPECT_EQ(VORDEX_Update(2, "y"), 1);
    activeRecord->BeginAdd();
    activeRecord->Values[1] = "new";
    EXPECT_TRUE(activeRecord->Update());
    activeRecord->DeleteRow();
    std::vector<std::string> sent;
    for (const fake_odbc::Call& call : fake_odbc::CallsTo("SQLExecDirect")) sent.push_back(call.arguments);
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "UPDATE \"my schema\".\"T\" SET \"two words\"=?  WHERE CURRENT OF SQL_CUR1",
                        "UPDATE \"my schema\".\"T\" SET \"a\"\"q\"=?  WHERE CURRENT OF SQL_CUR1",
                        "INSERT INTO \"my schema\".\"T\" (\"two words\") VALUES (?)",
                        "DELETE FROM \"my schema\".\"T\" WHERE CURRENT OF SQL_CUR1",
                    }));
}

TEST_F(UpdateCalls, WhatIsWrittenAndWhen) {
    ASSERT_EQ(OpenWithLengths({{"ID", 4}, {"NAME", 40}, {"NOTE", 40}}, {"1", "a", ""}), 1);
    // The value the field holds: done, nothing written.
    EXPECT_EQ(VORDEX_Update(1, "a"), 1);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 0);
    // An empty value writes NULL; the untouched empty NOTE is left alone.
    EXPECT_EQ(VORDEX_Update(1, ""), 1);
    EXPECT_EQ(LastSetPosIndicators(), "-6,-1,-6");
    EXPECT_EQ(activeRecord->EditMode, NotEditing);
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

// A CP932 host on a driver that speaks UTF-8 (the stand-in calls itself
// SQLite): names and values reach the host in CP932, and what it writes
// reaches the driver in UTF-8; the 255-byte limits count the host's bytes.
// (The real drivers' scenarios check the characters themselves.)
TEST_F(UpdateCalls, TextCrossesBetweenTheHostsCodePageAndTheDrivers) {
    // The driver reads the rows itself: these steps are the write's.
    setenv("VORDEX_CONNECT", "DSN=S;StepAPI=1;NO_CACHE=1;UseDeclareFetch=1", 1);
    struct Case {
        int characters;  // of あ stored, 3 bytes each in UTF-8, 2 in CP932
        bool readable;   // the row reaches the host; else the open is refused
        int sentBytes;   // the length the UPDATE is given for 120 い
    };
    const auto times = [](int count, const char* character) {
        std::string s;
        for (int i = 0; i < count; ++i) s += character;
        return s;
    };
    const Case cases[] = {{120, true, 360}, {127, true, 360}, {128, false, 0}};
    ScopedEnv codePage("VORDEX_CODEPAGE", "932");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.characters);
        fake_odbc::Reset();
        VORDEX_Close();
        // SQLite: UTF-8, rows written by key, here the rowid.
        fake_odbc::SetInfoText(SQL_DBMS_NAME, "SQLite");
        fake_odbc::QueueResult({{"count(*)"}}, {{"1"}});  // the file is a database
        const std::vector<fake_odbc::Column> columns = {{"ID"}, {"名前"}};
        const std::vector<fake_odbc::Value> row = {"1", times(c.characters, "あ")};
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"ID", 4, SQL_INTEGER}, {"名前", 400}}));
        fake_odbc::QueueResult({{"TABLE_QUALIFIER"}, {"TABLE_OWNER"}, {"TABLE_NAME"}, {"COLUMN_NAME"}},
                               {{"db", "public", "T", "ID"}});
        fake_odbc::QueueResult({{"is the rowid"}}, {{"1"}});
        fake_odbc::QueueResult(columns, {row});
        fake_odbc::QueueResult(columns, {row});  // read again by key before the write
        int opened = 0;
        const std::string shown = Shown([&] {
            VORDEX_Open("T");
            opened = VORDEX_OpenRec();
        });
        // A first row the host cannot hold whole is refused, as a cut one is.
        EXPECT_EQ(opened, c.readable ? 1 : 0);
        EXPECT_EQ(shown.empty(), c.readable) << shown;
        EXPECT_STREQ(VORDEX_GetNameList(1), "\x96\xBC\x91\x4F");
        const auto prepared = fake_odbc::CallsTo("SQLPrepare");
        ASSERT_FALSE(prepared.empty());
        EXPECT_NE(prepared.back().arguments.find("`名前`"), std::string::npos) << prepared.back().arguments;
        if (!c.readable) continue;
        EXPECT_EQ(std::string(VORDEX_GetData(1)), times(c.characters, "\x82\xA0"));
        EXPECT_EQ(VORDEX_Update(1, times(120, "\x82\xA2").c_str()), 1);
        // The value's marker is the UPDATE's first: number, kind, C type, SQL
        // type, size, digits, indicator.
        std::string valueBinding, lastFirstMarker;
        for (const fake_odbc::Call& call : fake_odbc::Calls()) {
            if (call.function == "SQLBindParameter" && call.arguments.rfind("1,", 0) == 0) lastFirstMarker = call.arguments;
            if (call.function == "SQLExecDirect" && call.arguments.rfind("UPDATE", 0) == 0) valueBinding = lastFirstMarker;
        }
        EXPECT_EQ(valueBinding.substr(valueBinding.rfind(',') + 1), std::to_string(c.sentBytes));
    }
}

// The write by key's contract, one row per answer of the data source: the
// statements run in order, what the host is told, and what the record shows.
TEST_F(UpdateCalls, WritesByKeyCheckTheRowAndWriteExactlyItInOneTransaction) {
    // The driver reads the rows itself: these steps are the write's.
    setenv("VORDEX_CONNECT", "DSN=S;StepAPI=1;NO_CACHE=1;UseDeclareFetch=1", 1);
    struct Dialect {
        const char* dbms;
        std::vector<fake_odbc::Value> row, other;  // A, B, V and the key forms not read from A and B
        std::string begin, check, lock, update;
        std::string keyBindings;  // SQLBindParameter of the UPDATE's key markers: number, C type, indicator
        bool countsChangedRowsOnly;  // MariaDB: 0 rows is a row that held the values
        bool warningRefuses;         // MariaDB: a warning is a value not stored as given
    };
    // SQLite's B of the row is 255 bytes: its form, "text:" and 510 hex
    // digits, is longer than a read's buffer and comes in two parts.
    const std::string longB(255, 'y');
    std::string longBForm = "text:";
    for (size_t i = 0; i < longB.size(); ++i) longBForm += "79";  // "y" in hex
    const Dialect dialects[] = {
        // clang-format off
        {"SQLite", {"1", longB, "old", "integer:1", longBForm}, {"2", "x", "other", "integer:2", "text:78"},
         "BEGIN IMMEDIATE",
         "SELECT `A`,`B`,`V`,typeof(`A`)||':'||CASE typeof(`A`) WHEN 'integer' THEN `A` WHEN 'real' THEN "
         "quote(`A`) ELSE hex(`A`) END,typeof(`B`)||':'||CASE typeof(`B`) WHEN 'integer' THEN `B` WHEN "
         "'real' THEN quote(`B`) ELSE hex(`B`) END  FROM `T` WHERE `A`=? AND `B`=CAST(? AS TEXT) COLLATE BINARY",
         "", "UPDATE OR ABORT `T` SET `V`=?  WHERE `A`=? AND `B`=CAST(? AS TEXT) COLLATE BINARY", "2,-25,0|3,-2,255",
         false, false},
        // An integer key's text as read is exact: nothing more is selected for it.
        {"MariaDB", {"1", "y", "old", "79"}, {"2", "x", "other", "78"}, "START TRANSACTION",
         "SELECT `A`,`B`,`V`,HEX(`B`)  FROM `T` WHERE `A`=? AND `B`=CAST(? AS BINARY)", " FOR UPDATE",
         "UPDATE `T` SET `V`=?  WHERE `A`=? AND `B`=CAST(? AS BINARY)", "2,1,1|3,-2,1", true, true},
        // clang-format on
    };
    enum class Answer { Plain, WarningOnUpdate, LostAtCommit };
    const std::string changed = "行が読まれた後に他で変更または削除されたため, 書き込めませんでした.";
    const std::string unknown = "COMMIT の応答の前にサーバーとの接続が切れたため, 書き込みが保存されたかどうか分かりません.";
    struct Case {
        const char* what;
        bool checked;        // the row reads again as it was read
        SQLLEN rowsWritten;  // what SQLRowCount reports for the UPDATE
        Answer answer;
    };
    const Case cases[] = {
        {"written", true, 1, Answer::Plain},
        {"two rows", true, 2, Answer::Plain},
        {"none", true, 0, Answer::Plain},
        {"changed elsewhere", false, 1, Answer::Plain},
        {"a warning on the UPDATE", true, 1, Answer::WarningOnUpdate},
        {"the connection lost at the COMMIT", true, 1, Answer::LostAtCommit},
    };
    for (const Dialect& d : dialects) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(d.dbms) + ": " + c.what);
            // What the host is told and the last statement run; a write that
            // stands is read again by its key.
            int result = 1;
            std::string shown, last = "COMMIT";
            if (!c.checked || (c.rowsWritten == 0 && !d.countsChangedRowsOnly)) {
                result = 0, shown = changed, last = "ROLLBACK";
            } else if (c.rowsWritten == 2) {
                result = 0, shown = "書き込むと 2 行が変わるため, 何も書き込みませんでした.", last = "ROLLBACK";
            } else if (c.answer == Answer::WarningOnUpdate && d.warningRefuses) {
                result = 0, shown = "Data truncated for column 'V' at row 1\n", last = "ROLLBACK";
            } else if (c.answer == Answer::LostAtCommit) {
                result = 0, shown = unknown;  // nothing to roll back
            }
            fake_odbc::Reset();
            VORDEX_Close();
            fake_odbc::SetInfoText(SQL_DBMS_NAME, d.dbms);
            // What connecting asks: MariaDB's character set and lock waits,
            // whether SQLite's file is a database.
            const bool maria = d.dbms == std::string("MariaDB");
            if (maria) {
                fake_odbc::SetInfoText(SQL_IDENTIFIER_QUOTE_CHAR, "`");
                fake_odbc::QueueResult({{"@@character_set_results"}}, {{"utf8mb4"}});
                fake_odbc::QueueResult({}, {});
                fake_odbc::QueueResult({}, {});
            } else {
                fake_odbc::QueueResult({{"count(*)"}}, {{"1"}});
            }
            fake_odbc::QueueResult(ColumnCatalogColumns(),
                                   ColumnRows({{"A", 4, SQL_INTEGER}, {"B", 255, SQL_VARCHAR}, {"V", 9, SQL_VARCHAR}}));
            if (maria) fake_odbc::QueueResult({{"read only"}}, {{"0"}});
            // MariaDB's key comes from the server's catalog.
            if (maria) {
                fake_odbc::QueueResult({{"COLUMN_NAME"}}, {{"A"}, {"B"}});
            } else {
                fake_odbc::QueueResult(
                    {{"TABLE_QUALIFIER"}, {"TABLE_OWNER"}, {"TABLE_NAME"}, {"COLUMN_NAME"}, {"KEY_SEQ"}},
                    {{"db", "public", "T", "A", "1"}, {"db", "public", "T", "B", "2"}});
            }
            std::vector<fake_odbc::Column> columns = {{"A"}, {"B"}, {"V"}, {"a"}, {"b"}};
            columns.resize(d.row.size());
            fake_odbc::QueueResult(columns, {d.row, d.other});
            ASSERT_EQ(VORDEX_Open("T"), 3);
            ASSERT_EQ(VORDEX_OpenRec(), 1);
            ASSERT_EQ(VORDEX_CanUpdate(0), 1);
            // What the check reads on row 0, and then the row read again.
            std::vector<fake_odbc::Value> again = d.row;
            if (!c.checked) again[2] = "changed";
            fake_odbc::QueueResult(columns, {again});
            std::vector<fake_odbc::Value> written = d.row;
            written[2] = "new";
            fake_odbc::QueueResult(columns, {written});
            fake_odbc::SetRowCount(c.rowsWritten);
            if (c.answer == Answer::WarningOnUpdate) {
                fake_odbc::QueueReturn("SQLExecDirect", SQL_SUCCESS);  // BEGIN
                fake_odbc::QueueFailure("SQLExecDirect", SQL_SUCCESS_WITH_INFO,
                                        {{"01000", 1265, "[fake]Data truncated for column 'V' at row 1"}});
            } else if (c.answer == Answer::LostAtCommit) {
                fake_odbc::QueueReturn("SQLExecDirect", SQL_SUCCESS, 2);  // BEGIN, UPDATE
                fake_odbc::QueueFailure("SQLExecDirect", SQL_ERROR, {{"08S01", 2013, "[fake]Lost connection"}});
            }
            const size_t before = fake_odbc::Calls().size();
            int got = -1;
            EXPECT_EQ(Shown([&] { got = VORDEX_Update(2, "new"); }), shown.empty() ? "" : MessageLine(shown));
            EXPECT_EQ(got, result);
            std::vector<std::string> ran;
            std::string keyBindings;
            for (size_t i = before; i < fake_odbc::Calls().size(); ++i) {
                const fake_odbc::Call& call = fake_odbc::Calls()[i];
                if (call.function == "SQLExecDirect" || call.function == "SQLPrepare") ran.push_back(call.arguments);
                if (call.function == "SQLBindParameter" && ran.back() == d.check + d.lock && call.arguments[0] != '1') {
                    const std::string& a = call.arguments;  // number,kind,C type,SQL type,size,digits,indicator
                    const size_t type = a.find(',', 2) + 1;
                    keyBindings += (keyBindings.empty() ? "" : "|") + a.substr(0, 2) +
                                   a.substr(type, a.find(',', type) - type) + a.substr(a.rfind(','));
                }
            }
            std::vector<std::string> expected = {d.begin, d.check + d.lock};
            if (c.checked) expected.push_back(d.update);
            expected.push_back(last);
            if (result == 1) expected.push_back(d.check);  // read again, unlocked
            EXPECT_EQ(ran, expected);
            EXPECT_EQ(keyBindings, c.checked ? d.keyBindings : "");
            EXPECT_STREQ(VORDEX_GetData(2), result ? "new" : "old");
        }
    }
}

// A write to a key column where the UPDATE hands back no key (SQLite): the
// row is then found by the key as written, each key column compared with its
// own value. The key's order (B, then A) is not the table's.
TEST_F(UpdateCalls, AWrittenKeyColumnFindsTheRowByTheValueWritten) {
    setenv("VORDEX_CONNECT", "DSN=S;StepAPI=1;NO_CACHE=1;UseDeclareFetch=1", 1);
    const std::string forms =
        "typeof(`B`)||':'||CASE typeof(`B`) WHEN 'integer' THEN `B` WHEN 'real' THEN quote(`B`) ELSE hex(`B`) END,"
        "typeof(`A`)||':'||CASE typeof(`A`) WHEN 'integer' THEN `A` WHEN 'real' THEN quote(`A`) ELSE hex(`A`) END";
    struct Case {
        int field;
        const char* value;
        std::vector<fake_odbc::Value> stored;  // A, B, V and the forms of B and A, after the write
        // The SELECT that finds the row after the write: its condition, and
        // its markers (number, kind, C type, SQL type, size, digits, indicator).
        std::string condition, bindings;
    };
    const Case cases[] = {
        {1, "new", {"1", "new", "v", "text:6E6577", "integer:1"}, "`B`=? AND `A`=?", "1,1,1,12,3,0,3|2,1,-25,-5,1,0,0"},
        {0,
         "7",
         {"7", "y", "v", "text:79", "integer:7"},
         "`B`=CAST(? AS TEXT) COLLATE BINARY AND `A`=?",
         "1,1,-2,-3,1,0,1|2,1,1,12,1,0,1"},
    };
    const std::vector<fake_odbc::Column> columns = {{"A"}, {"B"}, {"V"}, {"b"}, {"a"}};
    const std::vector<fake_odbc::Value> row = {"1", "y", "v", "text:79", "integer:1"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        fake_odbc::Reset();
        VORDEX_Close();
        fake_odbc::SetInfoText(SQL_DBMS_NAME, "SQLite");
        fake_odbc::QueueResult({{"count(*)"}}, {{"1"}});  // the file is a database
        fake_odbc::QueueResult(ColumnCatalogColumns(), ColumnRows({{"A", 4, SQL_INTEGER}, {"B", 5}, {"V", 5}}));
        fake_odbc::QueueResult({{"TABLE_QUALIFIER"}, {"TABLE_OWNER"}, {"TABLE_NAME"}, {"COLUMN_NAME"}, {"KEY_SEQ"}},
                               {{"db", "public", "T", "B", "1"}, {"db", "public", "T", "A", "2"}});
        fake_odbc::QueueResult(columns, {row});
        ASSERT_EQ(VORDEX_Open("T"), 3);
        ASSERT_EQ(VORDEX_OpenRec(), 1);
        fake_odbc::QueueResult(columns, {row});                                // the check
        fake_odbc::QueueResult({{"b"}, {"a"}}, {{c.stored[3], c.stored[4]}});  // the key found
        fake_odbc::QueueResult(columns, {c.stored});                           // the row read again
        int result = -1;
        EXPECT_EQ(Shown([&] { result = VORDEX_Update(c.field, c.value); }), "");
        EXPECT_EQ(result, 1);
        std::string found, bindings, pending;
        for (const fake_odbc::Call& call : fake_odbc::Calls()) {
            if (call.function == "SQLBindParameter") pending += (pending.empty() ? "" : "|") + call.arguments;
            if (call.function != "SQLExecDirect" && call.function != "SQLPrepare") continue;
            if (call.arguments.rfind("SELECT typeof", 0) == 0) found = call.arguments, bindings = pending;
            pending.clear();
        }
        EXPECT_EQ(found, "SELECT " + forms + " FROM `T` WHERE " + c.condition);
        EXPECT_EQ(bindings, c.bindings);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(VORDEX_GetData(i), *c.stored[static_cast<size_t>(i)]);
    }
}

TEST_F(UpdateCalls, ARefusedWriteLeavesTheStoredValues) {
    ASSERT_EQ(OpenWithLengths({{"ID", 4}, {"NAME", 40}, {"NOTE", 40}}, {"1", "a", std::nullopt}), 1);
    fake_odbc::QueueFailure("SQLSetPos", SQL_ERROR, {{"42501", 1, "[fake]permission denied for table t"}});
    int result = -1;
    const std::string shown = Shown([&] { result = VORDEX_Update(1, "b"); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, MessageLine("permission denied for table t\n"));
    // The record shows what the table holds, and is no longer editing.
    EXPECT_STREQ(VORDEX_GetData(1), "a");
    EXPECT_STREQ(VORDEX_GetData(2), "");
    EXPECT_EQ(activeRecord->EditMode, NotEditing);
    // So the stored value writes nothing, and the next write sends only its
    // own column: the ignore markers of the refused write are gone.
    EXPECT_EQ(VORDEX_Update(1, "a"), 1);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetPos"), 1);
    EXPECT_EQ(VORDEX_Update(2, "n"), 1);
    EXPECT_EQ(LastSetPosIndicators(), "-6,-6,1");
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
    EXPECT_EQ(LastSetPosIndicators(), "-6,2");  // "wx"

    // A record that does not allow updates: 0 from both, silently.
    activeRecord->UpdateAllowed = 0;
    EXPECT_EQ(VORDEX_CanUpdate(0), 0);
    int result = -1;
    EXPECT_EQ(Shown([&] { result = VORDEX_Update(1, "q"); }), "");
    EXPECT_EQ(result, 0);
}

}  // namespace
