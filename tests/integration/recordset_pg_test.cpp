// The result-set engine against PostgreSQL through psqlODBC.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/recordset.h"
#include "integration/integration_env.h"
#include "move_error.h"

using namespace vordex;
using integration::Psql;
using integration::RequiredEnv;

namespace {

// A result-set class over a table of the tests: id, name, qty.
class ItemRecord : public CRecordset {
public:
    ItemRecord(CDatabase* db, const char* table) : CRecordset(db), table_(table) { FieldCount = 3; }
    int32_t id = 0;
    CText name;
    int32_t qty = 0;
    CText DefaultSQL() override { return table_; }
    void ExchangeFields(CFieldXfer& xfer) override {
        xfer.fieldKind = kOutputColumns;
        XferLong(xfer, "id", id);
        XferText(xfer, "name", name);
        XferInt(xfer, "qty", qty);
    }

private:
    CText table_;
};

class PostgresRecordset : public ::testing::Test {
protected:
    CDatabase db;

    static void SetUpTestSuite() {
        Psql("DROP TABLE IF EXISTS \"Mixed Items\", rs_empty;"
             "CREATE TABLE \"Mixed Items\" (id serial PRIMARY KEY, name varchar(400), qty integer);"
             "INSERT INTO \"Mixed Items\" (name, qty) VALUES ('alpha', 1), (NULL, NULL), ('beta  ', 3),"
             " (repeat('x', 300), 4), ('gamma', 5);"
             "CREATE TABLE rs_empty (id serial PRIMARY KEY, name text, qty integer);");
    }
    static void TearDownTestSuite() { Psql("DROP TABLE IF EXISTS \"Mixed Items\", rs_empty;"); }

    // psqlODBC has a keyset-driven cursor only where it reads the whole
    // result at once, not in its block reading.
    void SetUp() override {
        const std::string connect = "ODBC;" + integration::PgDsnConnect(";UseDeclareFetch=0");
        ASSERT_TRUE(db.Open(nullptr, false, false, connect.c_str(), false));
    }
};

TEST_F(PostgresRecordset, WalksSeeksAndReadsNullsOfAKeysetCursor) {
    ItemRecord rs(&db, "[Mixed Items]");
    ASSERT_TRUE(rs.Open(KeysetCursor, nullptr, 0));
    EXPECT_STREQ(rs.SqlStatement.c_str(), "SELECT id,name,qty  FROM \"Mixed Items\"");
    EXPECT_STREQ(rs.SourceTable.c_str(), "[Mixed Items]");
    EXPECT_EQ(rs.Scrollable, 1);
    EXPECT_EQ(rs.UpdateAllowed, 1);  // psqlODBC grants row-version concurrency
    EXPECT_EQ(rs.UpdateBySql, 0);
    EXPECT_EQ(rs.id, 1);
    EXPECT_STREQ(rs.name.c_str(), "alpha");
    EXPECT_EQ(rs.qty, 1);

    rs.Move(1, SQL_FETCH_NEXT);
    EXPECT_EQ(rs.id, 2);
    EXPECT_STREQ(rs.name.c_str(), "");
    EXPECT_EQ(rs.ColumnStatus[1], FieldNull);
    EXPECT_EQ(rs.qty, 32484);

    rs.Move(3, SQL_FETCH_ABSOLUTE);
    EXPECT_EQ(rs.CurrentRecord, 2);
    EXPECT_STREQ(rs.name.c_str(), "beta  ");
    EXPECT_EQ(rs.ColumnRecords[1].Indicator, 6);

    // The next row holds a 300-byte value: the 256-byte buffer cuts it.
    EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_NEXT), 1021);
    EXPECT_EQ(rs.CurrentRecord, 2);

    rs.Move(5, SQL_FETCH_ABSOLUTE);
    EXPECT_STREQ(rs.name.c_str(), "gamma");
    rs.Move(1, SQL_FETCH_NEXT);
    EXPECT_TRUE(rs.AtEnd);
    EXPECT_EQ(MoveFails(rs, 1, SQL_FETCH_NEXT), 1016);
    rs.Move(1, SQL_FETCH_FIRST);
    EXPECT_EQ(rs.id, 1);
    rs.Close();
    EXPECT_TRUE(db.OpenRecordsets.empty());
}

TEST_F(PostgresRecordset, NullLongAndEmptyResult) {
    ItemRecord nulls(&db, nullptr);
    ASSERT_TRUE(nulls.Open(KeysetCursor, "SELECT NULL::integer AS id, 'x' AS name, 7 AS qty", OptReadOnly));
    EXPECT_EQ(nulls.id, 1246576928);
    EXPECT_EQ(nulls.qty, 7);
    EXPECT_EQ(nulls.UpdateAllowed, 0);

    ItemRecord empty(&db, "rs_empty");
    ASSERT_TRUE(empty.Open(KeysetCursor, nullptr, 0));
    EXPECT_TRUE(empty.AtStart && empty.AtEnd);
    EXPECT_EQ(empty.RecordCount, 0);
    EXPECT_EQ(MoveFails(empty, 1, SQL_FETCH_NEXT), 1016);
}

TEST_F(PostgresRecordset, StatementNeverExecutedIsNotOpen) {
    ItemRecord rs(&db, "[Mixed Items]");
    ASSERT_NE(rs.StatementHandle, nullptr);
    EXPECT_FALSE(rs.IsOpen());
}

TEST_F(PostgresRecordset, UnknownTableIsTheServersError) {
    ItemRecord rs(&db, "[no_such_table]");
    try {
        rs.Open(KeysetCursor, nullptr, 0);
        ADD_FAILURE() << "opened an unknown table";
    } catch (CDBException* e) {
        EXPECT_TRUE(e->HasState("42P01")) << e->StateText.c_str();
        e->Delete();
    }
    EXPECT_EQ(rs.StatementHandle, nullptr);
    EXPECT_TRUE(db.OpenRecordsets.empty());
}

TEST(PostgresLostConnection, IsNeverTheEndOfTheRows) {
    Psql("DROP TABLE IF EXISTS rs_many; CREATE TABLE rs_many (id serial PRIMARY KEY, name text, qty integer);"
         "INSERT INTO rs_many (name, qty) SELECT 'n' || g, g FROM generate_series(1, 200) g;");
    struct Case {
        const char* settings;  // appended to the connect string
        uint32_t openType;
    };
    // The driver's own default (it reads the whole result at once) and its block
    // reading, where psqlODBC can answer a dead connection's fetch with "no
    // more data"; blocks of 1000 hold the whole table before the backend dies.
    const Case cases[] = {
        {";UseDeclareFetch=0", KeysetCursor},
        {";UseDeclareFetch=1;Fetch=10", ForwardOnly},
        {";UseDeclareFetch=1;Fetch=10", StaticCursor},
        {";UseDeclareFetch=1;Fetch=1000", StaticCursor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + " open type " + std::to_string(c.openType));
        CDatabase db;
        const std::string connect = "ODBC;" + integration::PgDsnConnect(c.settings);
        ASSERT_TRUE(db.Open(nullptr, false, false, connect.c_str(), false));
        ItemRecord rs(&db, "rs_many");
        ASSERT_TRUE(rs.Open(c.openType, nullptr, 0));
        Psql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
             " WHERE datname = current_database() AND pid <> pg_backend_pid();");
        int rows = 1;
        SQLRETURN failure = 0;
        while (failure == 0 && !rs.AtEnd) {
            failure = MoveFails(rs, 1, SQL_FETCH_NEXT);
            if (failure == 0 && !rs.AtEnd) ++rows;
        }
        // Either every row came before the end, or the walk failed: it never
        // ends early as if the table were shorter.
        if (rs.AtEnd) {
            EXPECT_EQ(rows, 200);
        } else {
            EXPECT_TRUE(failure == SQL_ERROR || failure == ErrorConnectionLost) << failure;
            EXPECT_TRUE(db.IsConnectionDead());
        }
    }
    Psql("DROP TABLE rs_many;");
}

TEST(SqliteRecordset, KeysetCursorIsRefused) {
    CDatabase db;
    const std::string connect = "ODBC;DSN=" + RequiredEnv("VORDEX_TEST_SQLITE_DSN");
    ASSERT_TRUE(db.Open(nullptr, false, false, connect.c_str(), false));
    ItemRecord rs(&db, "[items]");
    try {
        rs.Open(KeysetCursor, nullptr, 0);
        ADD_FAILURE() << "the SQLite driver offered a keyset-driven cursor";
    } catch (CDBException* e) {
        EXPECT_EQ(e->ReturnCode, 1012);
        e->Delete();
    }
    EXPECT_EQ(rs.StatementHandle, nullptr);
    EXPECT_TRUE(rs.AtStart && rs.AtEnd);
    EXPECT_TRUE(db.OpenRecordsets.empty());
}

}  // namespace
