// The catalog result sets and the table record against PostgreSQL, and the
// table record through every driver of the tests.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/db_exception.h"
#include "integration/integration_env.h"
#include "records/columns.h"
#include "records/my_rec.h"
#include "records/tables.h"

using namespace vordex;
using integration::Psql;
using integration::RequiredEnv;

namespace {

class PostgresRecords : public ::testing::Test {
protected:
    CDatabase db;

    static void SetUpTestSuite() {
        // Names that break out of naive quoting, next to the tables a broken
        // statement would reach instead.
        Psql("DROP SCHEMA IF EXISTS rec CASCADE; CREATE SCHEMA rec;"
             "CREATE TABLE rec.kinds (id serial PRIMARY KEY, i integer, s smallint, v varchar(10), t text,"
             " n numeric(8,2), d date);"
             "CREATE TABLE rec.\"we\"\"ird\" (id serial PRIMARY KEY, origin text);"
             "INSERT INTO rec.\"we\"\"ird\" (origin) VALUES ('quote');"
             "CREATE TABLE rec.\"b]x\" (id serial PRIMARY KEY, origin text);"
             "INSERT INTO rec.\"b]x\" (origin) VALUES ('bracket');"
             "CREATE TABLE rec.\"it's\" (id serial PRIMARY KEY, origin text);"
             "INSERT INTO rec.\"it's\" (origin) VALUES ('apostrophe');"
             "CREATE TABLE rec.we (id serial PRIMARY KEY, origin text);"
             "INSERT INTO rec.we (origin) VALUES ('decoy');"
             "CREATE TABLE rec.ab_c (id serial PRIMARY KEY, x text);"
             "CREATE TABLE rec.abxc (id serial PRIMARY KEY, y text);"
             "ALTER DATABASE " + integration::ProcessDatabase() + " SET search_path = rec, public;");
    }
    static void TearDownTestSuite() {
        Psql("DROP SCHEMA IF EXISTS rec CASCADE;");
    }

    void SetUp() override {
        const std::string connect = "ODBC;" + integration::PgDsnConnect();
        ASSERT_TRUE(db.Open(nullptr, false, false, connect.c_str(), false));
    }

    /// The catalog's columns of a table of schema rec: name and length.
    std::vector<std::pair<std::string, int32_t>> ListColumns(const char* table) {
        CColumns columns(&db);
        columns.OwnerParam = "rec";
        columns.TableNameParam = table;
        EXPECT_TRUE(columns.Open(KeysetCursor, nullptr, OptReadOnly));
        std::vector<std::pair<std::string, int32_t>> listed;
        while (!columns.AtEnd) {
            listed.emplace_back(columns.ColumnName.c_str(), columns.Length);
            columns.Move(1, SQL_FETCH_NEXT);
        }
        return listed;
    }
};

TEST_F(PostgresRecords, TablesListsTheSchemaInCatalogOrder) {
    CTables tables(&db);
    tables.OwnerParam = "rec";
    tables.TableTypeParam = "'TABLE'";
    ASSERT_TRUE(tables.Open(KeysetCursor, nullptr, OptReadOnly));
    EXPECT_EQ(tables.TableQualifier, integration::ProcessDatabase().c_str());
    EXPECT_EQ(tables.TableOwner, "rec");
    std::vector<std::string> names;
    while (!tables.AtEnd) {
        EXPECT_EQ(tables.TableType, "TABLE");
        names.emplace_back(tables.TableName.c_str());
        tables.Move(1, SQL_FETCH_NEXT);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"ab_c", "abxc", "b]x", "it's", "kinds", "we", "we\"ird"}));
}

TEST_F(PostgresRecords, ColumnLengthsAreTheDriversByteSizes) {
    // What the update path cuts values to: psqlODBC reports bytes, four per
    // character of a varchar.
    const std::vector<std::pair<std::string, int32_t>> expected = {
        {"id", 4}, {"i", 4}, {"s", 2}, {"v", 40}, {"t", 8190}, {"n", 10}, {"d", 6}};
    EXPECT_EQ(ListColumns("kinds"), expected);
    EXPECT_TRUE(ListColumns("nosuch").empty());
    // "_" is a wildcard of the catalog's search patterns: it must not reach abxc.
    const std::vector<std::pair<std::string, int32_t>> underscored = {{"id", 4}, {"x", 8190}};
    EXPECT_EQ(ListColumns("ab_c"), underscored);
}

TEST_F(PostgresRecords, TableRecordSelectsExactlyTheNamedTable) {
    for (const char* table : {"we\"ird", "b]x", "it's", "we"}) {
        SCOPED_TRACE(table);
        CText names[2] = {"id", "origin"};
        CMyRec record(&db);
        record.FieldCount = 2;
        record.TableName = table;
        record.FieldNameList = names;
        ASSERT_TRUE(record.Open(KeysetCursor, nullptr, 0));
        const std::string expected = Psql(std::string("SELECT origin FROM rec.\"") +
                                          (std::string(table) == "we\"ird" ? "we\"\"ird" : table) + "\"");
        EXPECT_EQ(std::string(record.Values[1].c_str()), expected);
        record.Move(1, SQL_FETCH_NEXT);
        EXPECT_TRUE(record.AtEnd);
    }
}

// What each driver grants the table record: the open asks for what the
// driver offers, and the record writes only as the driver granted.
TEST(EveryDriver, TableRecordGetsWhatTheDriverGrants) {
    const std::string sqliteFile = RequiredEnv("VORDEX_TEST_SQLITE_FILE");
    const std::string setup = "CREATE TABLE drv (id INTEGER PRIMARY KEY, v TEXT); INSERT INTO drv VALUES (1, 'one');";
    const std::string maria = "mariadb --no-defaults -S " + RequiredEnv("MARIA_SOCKET") + " -uroot " +
                              RequiredEnv("MARIA_DATABASE") + " -e ";
    struct Case {
        const char* driver;
        std::string connect;
        std::string make;  // shell command that makes the table drv
        uint32_t concurrency;
        int32_t updatable;
        size_t keyColumns;  // the key the writer names rows by
    };
    Psql("DROP TABLE IF EXISTS drv; " + setup);
    const Case cases[] = {
        {"psqlODBC", integration::PgDsnConnect(), "true", SQL_CONCUR_READ_ONLY, 1, 1},
        {"SQLite", "DSN=" + RequiredEnv("VORDEX_TEST_SQLITE_DSN"),
         "sqlite3 " + sqliteFile + " \"DROP TABLE IF EXISTS drv; " + setup + "\"", SQL_CONCUR_READ_ONLY, 1, 1},
        {"MariaDB", "DSN=" + RequiredEnv("VORDEX_TEST_MARIA_DSN"), maria + "\"DROP TABLE IF EXISTS drv; " + setup + "\"",
         SQL_CONCUR_READ_ONLY, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.driver);
        ASSERT_EQ(std::system(c.make.c_str()), 0);
        CDatabase db;
        ASSERT_TRUE(db.Open(nullptr, false, false, ("ODBC;" + c.connect).c_str(), false));
        const CText names[CMyRec::kValueCount] = {CText("id"), CText("v")};
        CMyRec record(&db);
        record.TableName = "drv";
        record.FieldCount = 2;
        record.FieldNameList = names;
        ASSERT_TRUE(record.Open(KeysetCursor, nullptr, 0));
        EXPECT_EQ(record.OpenType, StaticCursor);
        EXPECT_EQ(record.Concurrency, c.concurrency);  // asked for: rows written by key are not written through it
        EXPECT_EQ(record.UpdateAllowed, c.updatable);
        ASSERT_NE(record.KeyWriter, nullptr);
        EXPECT_EQ(record.KeyWriter->Columns().size(), c.keyColumns);
        EXPECT_STREQ(record.Values[1].c_str(), "one");
        CTables tables(&db);
        tables.TableTypeParam = "'TABLE'";
        ASSERT_TRUE(tables.Open(KeysetCursor, nullptr, OptReadOnly));
        EXPECT_EQ(tables.OpenType, StaticCursor);
    }
    Psql("DROP TABLE drv;");
}

}  // namespace
