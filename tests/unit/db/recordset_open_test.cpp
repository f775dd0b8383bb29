#include "db/database.h"
#include "db/db_exception.h"
#include "fake_odbc_fixture.h"
#include "test_records.h"

using namespace vordex;
using fake_odbc::Column;
using fake_odbc::Value;

namespace {

class RecordsetOpen : public FakeOdbcTest {
protected:
    CDatabase db;

    void SetUp() override {
        FakeOdbcTest::SetUp();
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
        fake_odbc::SetResult({{"ID", SQL_INTEGER, 10}, {"NAME", SQL_VARCHAR, 20}, {"SMALL", SQL_SMALLINT, 5}},
                             {{Value("1"), Value("one"), Value("11")},
                              {Value("2"), std::nullopt, std::nullopt},
                              {std::nullopt, Value("three "), Value("33")}});
    }

    // Opens and returns the ReturnCode of the CDBException it threw, or 0.
    SQLRETURN OpenFails(TestRecord& rs, uint32_t openType = KeysetCursor, uint32_t options = 0) {
        try {
            rs.Open(openType, nullptr, options);
        } catch (CDBException* e) {
            SQLRETURN code = e->ReturnCode;
            e->Delete();
            return code;
        }
        return 0;
    }

    static std::vector<std::string> StatementOptions() {
        std::vector<std::string> options;
        for (const auto& call : fake_odbc::CallsTo("SQLSetStmtOption")) options.push_back(call.arguments);
        return options;
    }
};

std::string Option(int option, int value) { return std::to_string(option) + "," + std::to_string(value); }

TEST_F(RecordsetOpen, PreparesTheComposedSelectWithTheChosenOptions) {
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_EQ(StatementOptions(), (std::vector<std::string>{Option(SQL_QUERY_TIMEOUT, 15),
                                                             Option(SQL_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN),
                                                             Option(SQL_CONCURRENCY, SQL_CONCUR_ROWVER)}));
    auto prepared = fake_odbc::CallsTo("SQLPrepare");
    ASSERT_EQ(prepared.size(), 1u);
    EXPECT_EQ(prepared[0].arguments, "SELECT ID,NAME,SMALL  FROM \"T\"");
    EXPECT_EQ(fake_odbc::CountCalls("SQLExecute"), 1);
    EXPECT_EQ(fake_odbc::CountCalls("SQLExecDirect"), 0);
    auto binds = fake_odbc::CallsTo("SQLBindCol");
    ASSERT_EQ(binds.size(), 3u);
    EXPECT_EQ(binds[0].arguments, "1,4,4");
    EXPECT_EQ(binds[1].arguments, "2,1,256");
    EXPECT_EQ(binds[2].arguments, "3,4,4");

    EXPECT_EQ(rs.OpenState, 1);
    EXPECT_TRUE(rs.IsOpen());
    EXPECT_EQ(rs.Scrollable, 1);
    EXPECT_EQ(rs.UpdateAllowed, 1);
    EXPECT_EQ(rs.UpdateBySql, 0);
    EXPECT_STREQ(rs.SourceTable.c_str(), "[T]");
    EXPECT_EQ(rs.ResultColumnCount, 3);
    EXPECT_STREQ(rs.ColumnInfo[1].Name, "NAME");
    EXPECT_EQ(rs.CurrentRecord, 0);
    EXPECT_EQ(rs.RecordCount, 1);
    EXPECT_FALSE(rs.AtStart || rs.AtEnd);
    EXPECT_EQ(rs.id, 1);
    EXPECT_STREQ(rs.name.c_str(), "one");
    EXPECT_EQ(rs.small, 11);
    EXPECT_EQ(db.OpenRecordsets.front(), &rs);

    rs.Close();
    rs.Close();  // a second close changes nothing
    EXPECT_FALSE(rs.IsOpen());
    EXPECT_TRUE(db.OpenRecordsets.empty());
    EXPECT_EQ(fake_odbc::LiveStatements(), 0);
}

TEST_F(RecordsetOpen, RefusedCursorKindsCloseTheResultSet) {
    struct Case {
        uint32_t openType;
        SQLUINTEGER scrollOptions;
        SQLRETURN code;
    };
    const Case cases[] = {
        {KeysetCursor, SQL_SO_FORWARD_ONLY | SQL_SO_STATIC, 1012},
        {StaticCursor, SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN, 1013},
        {DynamicCursor, SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN, 1025},
        {7, SQL_SO_STATIC, 1025},  // above 3 counts as dynamic
    };
    for (const Case& c : cases) {
        fake_odbc::SetInfoNumber(SQL_SCROLL_OPTIONS, c.scrollOptions);
        TestRecord rs(&db);
        EXPECT_EQ(OpenFails(rs, c.openType), c.code);
        EXPECT_EQ(rs.StatementHandle, nullptr);
        EXPECT_TRUE(rs.AtStart && rs.AtEnd);
        EXPECT_TRUE(db.OpenRecordsets.empty());
        EXPECT_EQ(fake_odbc::CountCalls("SQLPrepare"), 0);
    }
    EXPECT_EQ(fake_odbc::LiveStatements(), 0);
}

TEST_F(RecordsetOpen, DriverWithoutExtendedFetchOrWithAnOldManager) {
    fake_odbc::SetFunctionSupported(SQL_API_SQLEXTENDEDFETCH, false);
    {
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        EXPECT_EQ(rs.Scrollable, 0);
        EXPECT_EQ(rs.UpdateAllowed, 0);
        EXPECT_EQ(rs.AppendAllowed, 1);
        for (int type : {SQL_FETCH_ABSOLUTE, SQL_FETCH_PRIOR, SQL_FETCH_FIRST}) {
            try {
                rs.Move(1, static_cast<SQLUSMALLINT>(type));
                ADD_FAILURE() << "moved with fetch type " << type;
            } catch (CDBException* e) {
                EXPECT_EQ(e->ReturnCode, 1002);
                e->Delete();
            }
        }
        rs.Move(1, SQL_FETCH_NEXT);
        EXPECT_EQ(rs.id, 2);
    }
    fake_odbc::SetFunctionSupported(SQL_API_SQLEXTENDEDFETCH, true);
    fake_odbc::SetInfoText(SQL_ODBC_VER, "01.00.0000");
    TestRecord rs(&db);
    EXPECT_EQ(OpenFails(rs), 1018);
}

TEST_F(RecordsetOpen, ConcurrencyIsTheBestTheDriverOffers) {
    struct Case {
        SQLUINTEGER offered;
        int32_t updatable;  // of the connection
        uint32_t options;
        SQLULEN expected;
    };
    const Case cases[] = {
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_OPT_VALUES | SQL_SCCO_LOCK, 1, 0, SQL_CONCUR_ROWVER},
        {SQL_SCCO_OPT_VALUES | SQL_SCCO_LOCK, 1, 0, SQL_CONCUR_VALUES},
        {SQL_SCCO_LOCK, 1, 0, SQL_CONCUR_LOCK},
        {SQL_SCCO_READ_ONLY, 1, 0, SQL_CONCUR_READ_ONLY},
        {SQL_SCCO_OPT_ROWVER, 0, 0, SQL_CONCUR_READ_ONLY},
        {SQL_SCCO_OPT_ROWVER, 1, OptReadOnly, SQL_CONCUR_READ_ONLY},
        {SQL_SCCO_OPT_ROWVER, 1, OptAppendOnly, SQL_CONCUR_ROWVER},
    };
    for (const Case& c : cases) {
        fake_odbc::SetInfoNumber(SQL_SCROLL_CONCURRENCY, c.offered);
        db.Updatable = c.updatable;
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, c.options));
        EXPECT_EQ(rs.Concurrency, c.expected) << c.offered;
        // A read-only connection keeps the result set's own permission.
        if (!c.updatable) {
            EXPECT_EQ(rs.UpdateAllowed, 1);
        }
    }
}

TEST_F(RecordsetOpen, RefusedConcurrencyFallsBackToLowerOnes) {
    struct Case {
        SQLUINTEGER offered;
        const char* refusing;  // the call that fails
        const char* state;     // with this SQLSTATE
        int refusals;          // this many times
        bool opens;
        std::vector<int> concurrencies;  // every SQL_CONCURRENCY set, in order
        int32_t updateAllowed;
    };
    const Case cases[] = {
        // "Driver not capable" steps down through the offered concurrencies.
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_LOCK, "SQLPrepare", "S1C00", 1, true, {SQL_CONCUR_ROWVER, SQL_CONCUR_LOCK}, 1},
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_LOCK, "SQLPrepare", "S1C00", 2, true,
         {SQL_CONCUR_ROWVER, SQL_CONCUR_LOCK, SQL_CONCUR_READ_ONLY}, 0},
        {SQL_SCCO_OPT_VALUES, "SQLPrepare", "S1C00", 1, true, {SQL_CONCUR_VALUES, SQL_CONCUR_READ_ONLY}, 0},
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_LOCK, "SQLPrepare", "S1C00", 3, false,
         {SQL_CONCUR_ROWVER, SQL_CONCUR_LOCK, SQL_CONCUR_READ_ONLY}, 0},
        // Any other refusal of the updatable statement (a view under psqlODBC:
        // no ctid) is tried once read-only; a refusal there too fails the open.
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_LOCK, "SQLExecute", "42703", 1, true,
         {SQL_CONCUR_ROWVER, SQL_CONCUR_READ_ONLY}, 0},
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_LOCK, "SQLPrepare", "42P01", 2, false,
         {SQL_CONCUR_ROWVER, SQL_CONCUR_READ_ONLY}, 0},
        {SQL_SCCO_OPT_ROWVER | SQL_SCCO_LOCK, "SQLExecute", "08S01", 2, false,
         {SQL_CONCUR_ROWVER, SQL_CONCUR_READ_ONLY}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.refusing) + " " + c.state + " x" + std::to_string(c.refusals));
        fake_odbc::Reset();
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false) || db.IsConnected());
        fake_odbc::SetResult({{"ID", SQL_INTEGER, 10}}, {{Value("1")}});
        fake_odbc::SetInfoNumber(SQL_SCROLL_CONCURRENCY, c.offered);
        for (int i = 0; i < c.refusals; ++i) {
            fake_odbc::QueueFailure(c.refusing, SQL_ERROR, {{c.state, i, "[X]refusal " + std::to_string(i)}});
        }
        TestRecord rs(&db);
        rs.FieldCount = 1;
        if (c.opens) {
            ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
            EXPECT_EQ(rs.UpdateAllowed, c.updateAllowed);
            EXPECT_EQ(rs.AppendAllowed, c.updateAllowed);
            EXPECT_EQ(rs.id, 1);
        } else {
            try {
                rs.Open(KeysetCursor, nullptr, 0);
                ADD_FAILURE() << "opened";
            } catch (CDBException* e) {
                EXPECT_EQ(e->ReturnCode, SQL_ERROR);
                // The failure of the last attempt, the read-only one: the
                // updatable cursor's is an artifact of the cursor.
                EXPECT_EQ(std::string(e->ErrorText.c_str()), "refusal " + std::to_string(c.refusals - 1) + "\n");
                e->Delete();
            }
            EXPECT_FALSE(rs.IsOpen());
        }
        std::vector<int> set;
        for (const auto& call : fake_odbc::CallsTo("SQLSetStmtOption")) {
            if (call.arguments.rfind(std::to_string(SQL_CONCURRENCY) + ",", 0) == 0) {
                set.push_back(std::stoi(call.arguments.substr(call.arguments.find(',') + 1)));
            }
        }
        EXPECT_EQ(set, c.concurrencies);
    }
}

TEST_F(RecordsetOpen, WhatTheDriverGrantedDecidesWhenItWarned) {
    struct Case {
        SQLRETURN concurrencyOption;  // answer to SQLSetStmtOption(SQL_CONCURRENCY)
        SQLRETURN execute;
        SQLULEN granted;
        int updatable;
    };
    const Case cases[] = {
        {SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_CONCUR_READ_ONLY, 0},
        {SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_CONCUR_ROWVER, 1},
        // A substitute at the option, then a silent execution (MariaDB).
        {SQL_SUCCESS_WITH_INFO, SQL_SUCCESS, SQL_CONCUR_READ_ONLY, 0},
        {SQL_SUCCESS_WITH_INFO, SQL_SUCCESS, SQL_CONCUR_LOCK, 1},
        // No warning anywhere: the driver is taken at its word.
        {SQL_SUCCESS, SQL_SUCCESS, SQL_CONCUR_READ_ONLY, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.concurrencyOption) + " " + std::to_string(c.execute) + " " +
                     std::to_string(c.granted));
        fake_odbc::Reset();
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
        // Time-out and cursor type first, then the concurrency.
        fake_odbc::QueueReturn("SQLSetStmtOption", SQL_SUCCESS, 2);
        fake_odbc::QueueReturn("SQLSetStmtOption", c.concurrencyOption);
        fake_odbc::QueueReturn("SQLExecute", c.execute);
        fake_odbc::SetStmtOptionAnswer(SQL_CONCURRENCY, c.granted);
        TestRecord rs(&db);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        EXPECT_EQ(rs.UpdateAllowed, c.updatable);
        EXPECT_EQ(rs.AppendAllowed, c.updatable);
        EXPECT_EQ(fake_odbc::CountCalls("SQLGetStmtOption"), c.updatable && c.granted == SQL_CONCUR_READ_ONLY ? 0 : 1);
        db.Close();
    }
}

TEST_F(RecordsetOpen, StillExecutingIsAskedAgainByEveryCallThatMustRepeat) {
    const std::pair<const char*, int> repeats[] = {{"SQLPrepare", 3},     {"SQLExecute", 2},
                                                   {"SQLNumResultCols", 2}, {"SQLDescribeCol", 4},
                                                   {"SQLExtendedFetch", 3}};
    for (const auto& [function, times] : repeats) fake_odbc::QueueReturn(function, SQL_STILL_EXECUTING, times);
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_EQ(fake_odbc::CountCalls("SQLPrepare"), 4);
    EXPECT_EQ(fake_odbc::CountCalls("SQLExecute"), 3);
    EXPECT_EQ(fake_odbc::CountCalls("SQLNumResultCols"), 3);
    EXPECT_EQ(fake_odbc::CountCalls("SQLDescribeCol"), 3 + 4);
    EXPECT_EQ(fake_odbc::CountCalls("SQLExtendedFetch"), 4);
    EXPECT_EQ(rs.id, 1);
    EXPECT_STREQ(rs.ColumnInfo[0].Name, "ID");
}

TEST_F(RecordsetOpen, ExecuteDirectAndRefresh) {
    TestRecord rs(&db);
    ASSERT_TRUE(rs.Open(KeysetCursor, "select ID,NAME,SMALL from T", OptExecuteDirect));
    auto direct = fake_odbc::CallsTo("SQLExecDirect");
    ASSERT_EQ(direct.size(), 1u);
    EXPECT_EQ(direct[0].arguments, "select ID,NAME,SMALL from T");
    EXPECT_FALSE(rs.Refresh());

    TestRecord prepared(&db);
    ASSERT_TRUE(prepared.Open(KeysetCursor, nullptr, 0));
    prepared.Move(1, SQL_FETCH_NEXT);
    ASSERT_TRUE(prepared.Refresh());  // same filter: the prepared statement runs again
    EXPECT_EQ(fake_odbc::CountCalls("SQLPrepare"), 1);
    EXPECT_EQ(prepared.CurrentRecord, 0);
    EXPECT_EQ(prepared.id, 1);
    prepared.Filter = "ID > 1";
    ASSERT_TRUE(prepared.Refresh());  // a new filter: composed and prepared anew
    auto prepares = fake_odbc::CallsTo("SQLPrepare");
    ASSERT_EQ(prepares.size(), 2u);
    EXPECT_EQ(prepares[1].arguments, "SELECT ID,NAME,SMALL  FROM \"T\" WHERE ID > 1");
}

TEST_F(RecordsetOpen, IsOpenAnswersFalseOnlyForAStatementNeverExecuted) {
    TestRecord rs(&db);
    ASSERT_NE(rs.StatementHandle, nullptr);  // taken at construction over a live connection
    fake_odbc::QueueFailure("SQLNumResultCols", SQL_ERROR,
                            {{"S1010", 0, "[unixODBC][Driver Manager]Function sequence error"}});
    EXPECT_FALSE(rs.IsOpen());

    fake_odbc::QueueFailure("SQLNumResultCols", SQL_ERROR, {{"08S01", 0, "[X]Communication link failure"}});
    try {
        rs.IsOpen();
        ADD_FAILURE() << "no exception";
    } catch (CDBException* e) {
        EXPECT_TRUE(e->HasState("08S01"));
        e->Delete();
    }
    TestRecord unconnected(nullptr);
    EXPECT_FALSE(unconnected.IsOpen());
    EXPECT_EQ(unconnected.StatementHandle, nullptr);
}

TEST_F(RecordsetOpen, MultiRowFetchingIsRefused) {
    TestRecord rs(&db);
    EXPECT_EQ(OpenFails(rs, KeysetCursor, OptMultiRow), SQL_ERROR);
    EXPECT_EQ(fake_odbc::CountCalls("SQLPrepare"), 0);
}

TEST_F(RecordsetOpen, OwnConnectionIsMadeWithTheDefaultConnectString) {
    setenv("VORDEX_CONNECT", "DSN=Own", 1);
    {
        TestRecord rs(nullptr);
        ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
        EXPECT_EQ(rs.OwnsDatabase, 1);
        ASSERT_NE(rs.Database, nullptr);
        EXPECT_STREQ(rs.Database->ConnectString.c_str(), "ODBC;DSN=Own");
    }
    EXPECT_EQ(fake_odbc::LiveConnections(), 1);  // only the fixture's connection is left
    unsetenv("VORDEX_CONNECT");

    // A cancelled choice: Open answers false and throws nothing.
    fake_odbc::QueueReturn("SQLDriverConnect", SQL_NO_DATA_FOUND);
    setenv("VORDEX_CONNECT", "DSN=Own", 1);
    TestRecord cancelled(nullptr);
    EXPECT_FALSE(cancelled.Open(KeysetCursor, nullptr, 0));
    EXPECT_FALSE(cancelled.IsOpen());
    unsetenv("VORDEX_CONNECT");
}

}  // namespace
