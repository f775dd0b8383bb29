#include "db/database.h"
#include "fake_odbc_fixture.h"

using namespace vordex;

namespace {

using DatabaseCapabilities = FakeOdbcTest;

// One connect with the stand-in scripted by `script`.
template <class Script>
void Connect(CDatabase& db, Script script) {
    fake_odbc::Reset();
    script();
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
}

TEST_F(DatabaseCapabilities, ReadOnlyAnswer) {
    struct Case {
        const char* answer;  // null: the call fails
        int32_t updatable;
    };
    const Case cases[] = {{"N", 1}, {"Y", 0}, {"NO", 0}, {"", 0}, {nullptr, 0}};
    for (const Case& c : cases) {
        CDatabase db;
        Connect(db, [&] {
            if (c.answer != nullptr) {
                fake_odbc::SetInfoText(SQL_DATA_SOURCE_READ_ONLY, c.answer);
            } else {
                fake_odbc::FailInfo(SQL_DATA_SOURCE_READ_ONLY, SQL_ERROR);
            }
        });
        EXPECT_EQ(db.Updatable, c.updatable) << (c.answer ? c.answer : "(failed)");
        EXPECT_TRUE(db.IsConnected());
    }
}

TEST_F(DatabaseCapabilities, QuoteCharacter) {
    struct Case {
        const char* answer;  // null: the call fails
        char quote;
    };
    const Case cases[] = {{"\"", '"'}, {"`", '`'}, {" ", ' '}, {"[]", ' '}, {"", ' '}, {nullptr, ' '}};
    for (const Case& c : cases) {
        CDatabase db;
        Connect(db, [&] {
            if (c.answer != nullptr) {
                fake_odbc::SetInfoText(SQL_IDENTIFIER_QUOTE_CHAR, c.answer);
            } else {
                fake_odbc::FailInfo(SQL_IDENTIFIER_QUOTE_CHAR, SQL_ERROR);
            }
        });
        EXPECT_EQ(db.QuoteChar, c.quote) << (c.answer ? c.answer : "(failed)");
    }
}

TEST_F(DatabaseCapabilities, UpdateCapabilitiesAndBookmarks) {
    struct Case {
        SQLUINTEGER posOperations;
        SQLUINTEGER positionedStatements;
        SQLUINTEGER getDataExtensions;
        bool failAll;
        uint32_t expected;
    };
    const SQLUINTEGER allPos = SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD;
    const SQLUINTEGER bothPs = SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE;
    const Case cases[] = {
        {allPos, bothPs, SQL_GD_BOUND, false, UpdateBySetPos | UpdateByPositionedSql | GetDataOnBound},
        {SQL_POS_UPDATE | SQL_POS_DELETE, bothPs, 0, false, UpdateByPositionedSql},
        {allPos, SQL_PS_POSITIONED_UPDATE, SQL_GD_ANY_COLUMN, false, UpdateBySetPos},
        {0, 0, 0, false, 0},
        {allPos, bothPs, SQL_GD_BOUND, true, 0},
    };
    for (const Case& c : cases) {
        CDatabase db;
        db.BookmarkPersistence = 0x1234;
        Connect(db, [&] {
            fake_odbc::SetInfoNumber(SQL_POS_OPERATIONS, c.posOperations);
            fake_odbc::SetInfoNumber(SQL_POSITIONED_STATEMENTS, c.positionedStatements);
            fake_odbc::SetInfoNumber(SQL_GETDATA_EXTENSIONS, c.getDataExtensions);
            fake_odbc::SetInfoNumber(SQL_BOOKMARK_PERSISTENCE, SQL_BP_SCROLL | SQL_BP_DELETE);
            if (c.failAll) {
                for (int info : {SQL_POS_OPERATIONS, SQL_POSITIONED_STATEMENTS, SQL_GETDATA_EXTENSIONS,
                                 SQL_BOOKMARK_PERSISTENCE}) {
                    fake_odbc::FailInfo(static_cast<SQLUSMALLINT>(info), SQL_ERROR);
                }
            }
        });
        EXPECT_EQ(db.UpdateCapabilities, c.expected);
        // A failed bookmark query leaves the member as it was.
        EXPECT_EQ(db.BookmarkPersistence, c.failAll ? 0x1234u : static_cast<uint32_t>(SQL_BP_SCROLL | SQL_BP_DELETE));
    }
}

TEST_F(DatabaseCapabilities, RefusedQueryTimeoutIsAskedOncePerConnectionObject) {
    CDatabase db;
    SQLHSTMT statement = reinterpret_cast<SQLHSTMT>(0x5);
    fake_odbc::QueueReturn("SQLSetStmtOption", SQL_ERROR);
    db.SetStatementOptions(statement);
    db.SetStatementOptions(statement);
    db.SetStatementOptions(statement);
    auto calls = fake_odbc::CallsTo("SQLSetStmtOption");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments, std::to_string(SQL_QUERY_TIMEOUT) + ",15");
    EXPECT_EQ(db.QueryTimeout, -1);

    // A driver that takes it is given it for every statement.
    CDatabase other;
    other.SetStatementOptions(statement);
    other.SetStatementOptions(statement);
    EXPECT_EQ(fake_odbc::CountCalls("SQLSetStmtOption"), 3);
    EXPECT_EQ(other.QueryTimeout, 15);
}

// What a connection sends once connected, and the code page it takes the
// driver's texts to be in, for a CP932 host.
TEST_F(DatabaseCapabilities, SessionSettingsAndTheDriversCodePage) {
    using platform::CodePage;
    struct Case {
        const char* dbms;
        int32_t queryTimeout;
        const char* answer;  // the first statement's one value; null: that statement fails
        std::vector<std::string> sent;
        CodePage driver;
    };
    const std::string setUtf8 = "SET client_encoding TO 'UTF8'", askSet = "SELECT @@character_set_results";
    const std::string mariaLocks = "SET SESSION innodb_lock_wait_timeout = 15, lock_wait_timeout = 15";
    const std::string mariaTime = "SET SESSION max_statement_time = 16";
    const Case cases[] = {
        // No bound of the whole session: a pool would hand it on.
        {"PostgreSQL", 15, "", {setUtf8}, CodePage::Utf8},
        {"PostgreSQL", -1, "", {setUtf8}, CodePage::Utf8},
        {"PostgreSQL", -1, nullptr, {setUtf8}, CodePage::Cp932},
        {"SQLite", -1, "", {"SELECT count(*) FROM sqlite_master"}, CodePage::Utf8},
        {"MariaDB", 15, "utf8mb4", {askSet, mariaLocks, mariaTime}, CodePage::Utf8},
        {"MySQL", 15, "UTF8MB3", {askSet, mariaLocks, "SET SESSION max_execution_time = 16000"}, CodePage::Utf8},
        {"MariaDB", 15, "cp932", {askSet, mariaLocks, mariaTime}, CodePage::Cp932},
        {"MariaDB", 15, "latin1", {askSet, mariaLocks, mariaTime}, CodePage::Cp932},
        {"MariaDB", 15, nullptr, {askSet, mariaLocks, mariaTime}, CodePage::Cp932},
        {"Oracle", 15, "", {}, CodePage::Cp932},
    };
    ScopedEnv host("VORDEX_CODEPAGE", "932");
    for (const Case& c : cases) {
        CDatabase db;
        db.QueryTimeout = c.queryTimeout;
        Connect(db, [&] {
            fake_odbc::SetInfoText(SQL_DBMS_NAME, c.dbms);
            if (c.answer == nullptr) fake_odbc::QueueReturn("SQLExecDirect", SQL_ERROR);
            if (c.answer != nullptr) fake_odbc::QueueResult({{"answer"}}, {{std::string(c.answer)}});
        });
        std::vector<std::string> sent;
        for (const auto& call : fake_odbc::CallsTo("SQLExecDirect")) sent.push_back(call.arguments);
        EXPECT_EQ(sent, c.sent) << c.dbms;
        EXPECT_EQ(db.CodePages.host, CodePage::Cp932);
        EXPECT_EQ(db.CodePages.driver, c.driver) << c.dbms << " " << (c.answer ? c.answer : "-");
        EXPECT_EQ(fake_odbc::LiveStatements(), 0);
    }
}

TEST(DatabaseSucceeded, JudgesReturnCodes) {
    CDatabase db;
    for (int rc : {SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA_FOUND}) {
        EXPECT_TRUE(db.Succeeded(static_cast<SQLRETURN>(rc))) << rc;
    }
    for (int rc : {SQL_ERROR, SQL_INVALID_HANDLE, SQL_STILL_EXECUTING, SQL_NEED_DATA, 3, -100}) {
        EXPECT_FALSE(db.Succeeded(static_cast<SQLRETURN>(rc))) << rc;
    }
    EXPECT_STREQ(db.GetRuntimeClass()->ClassName, "CDatabase");
}

}  // namespace
