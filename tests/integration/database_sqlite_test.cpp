// CDatabase against a SQLite file through the SQLite ODBC driver.
#include <gtest/gtest.h>

#include "db/database.h"
#include "db/odbc_environment.h"
#include "integration/integration_env.h"

using namespace vordex;
using integration::RequiredEnv;

namespace {

TEST(SqliteDatabase, ConnectsThroughTheChosenDataSourceAndADriverString) {
    setenv("VORDEX_CONNECT", ("DSN=" + RequiredEnv("VORDEX_TEST_SQLITE_DSN")).c_str(), 1);
    {
        CDatabase db;
        ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;", false));
        EXPECT_TRUE(db.IsConnected());
        EXPECT_EQ(std::string(db.ConnectString.c_str()).rfind("ODBC;", 0), 0u);
        EXPECT_EQ(db.QuoteChar, '`');  // never read as a string, as a double quote may be
        db.Close();
        EXPECT_FALSE(db.IsConnected());
    }
    unsetenv("VORDEX_CONNECT");
    {
        CDatabase db;
        const std::string connect = "ODBC;DRIVER={SQLite3};Database=" + RequiredEnv("VORDEX_TEST_SQLITE_FILE");
        ASSERT_TRUE(db.Open(nullptr, false, false, connect.c_str(), false));
        EXPECT_TRUE(db.IsConnected());
    }
    EXPECT_EQ(TheOdbcEnvironment().EnvironmentHandle, nullptr);
}

}  // namespace
