// CDatabase against the private PostgreSQL cluster through unixODBC and psqlODBC.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <chrono>
#include <string>
#include <thread>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_environment.h"
#include "integration/integration_env.h"

using namespace vordex;
using integration::Psql;
using integration::RequiredEnv;

namespace {

// The server process that serves this connection.
std::string BackendPid(CDatabase& db) {
    SQLHSTMT statement = nullptr;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLAllocStmt(db.ConnectionHandle, &statement)));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(statement, (SQLCHAR*)"SELECT pg_backend_pid()", SQL_NTS)));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLFetch(statement)));
    char pid[32] = {};
    SQLLEN length = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(statement, 1, SQL_C_CHAR, pid, sizeof pid, &length)));
    SQLFreeStmt(statement, SQL_DROP);
    return pid;
}

// Whether the server still lists the session. The server notices a closed
// socket a moment after the client closes it, so look again a few times.
bool SessionListed(const std::string& pid) {
    const std::string query = "SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (Psql(query) == "0") return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class PostgresDatabase : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("VORDEX_CONNECT"); }
    void TearDown() override { unsetenv("VORDEX_CONNECT"); }

    // Connects and checks what every PostgreSQL connection records.
    void ExpectPostgresCapabilities(CDatabase& db) {
        EXPECT_TRUE(db.IsConnected());
        EXPECT_EQ(db.Updatable, 1);
        EXPECT_EQ(db.QuoteChar, '"');
        EXPECT_TRUE(db.UpdateCapabilities & UpdateBySetPos);
        EXPECT_EQ(std::string(db.ConnectString.c_str()).rfind("ODBC;", 0), 0u) << db.ConnectString.c_str();
    }
};

TEST_F(PostgresDatabase, ConnectsThroughTheChosenDataSourceAndDisconnectsOnClose) {
    setenv("VORDEX_CONNECT", ("DSN=" + RequiredEnv("VORDEX_TEST_PG_DSN")).c_str(), 1);
    CDatabase db;
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;", false));
    ExpectPostgresCapabilities(db);
    EXPECT_NE(std::string(db.ConnectString.c_str()).find("DSN=" + RequiredEnv("VORDEX_TEST_PG_DSN")),
              std::string::npos);

    std::string pid = BackendPid(db);
    ASSERT_FALSE(pid.empty());
    EXPECT_EQ(Psql("SELECT count(*) FROM pg_stat_activity WHERE pid = " + pid), "1");
    db.Close();
    EXPECT_FALSE(db.IsConnected());
    EXPECT_FALSE(SessionListed(pid));
}

TEST_F(PostgresDatabase, ConnectsThroughADriverString) {
    CDatabase db;
    ASSERT_TRUE(db.Open(nullptr, false, false, ("ODBC;" + RequiredEnv("VORDEX_TEST_PG_DRIVER")).c_str(), false));
    ExpectPostgresCapabilities(db);
    // Opened read-only: the connection is not updatable.
    CDatabase readOnly;
    ASSERT_TRUE(readOnly.Open(RequiredEnv("VORDEX_TEST_PG_DSN").c_str(), false, true, "ODBC;", false));
    EXPECT_EQ(readOnly.Updatable, 0);
    EXPECT_EQ(TheOdbcEnvironment().ConnectionCount, 2);
}

// Each bad input ends as a CDBException carrying the driver manager's or the
// driver's diagnostic, and leaves the object unconnected.
TEST_F(PostgresDatabase, BadInputEndsAsADiagnosedException) {
    struct Case {
        std::string connect;
        const char* state;
    };
    const std::string port = RequiredEnv("PGPORT");
    const Case cases[] = {
        {"ODBC;DSN=NoSuchSource", "State:IM002"},
        // A port where no server listens: the server is down.
        {"ODBC;DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=1;Database=vordex_test;Username=vordex", "State:08001"},
        {"ODBC;DRIVER=/nonexistent/libnodriver.so;Database=x", "State:01000"},
    };
    for (const Case& c : cases) {
        CDatabase db;
        bool thrown = false;
        try {
            db.Open(nullptr, false, false, c.connect.c_str(), false);
        } catch (CDBException* e) {
            thrown = true;
            EXPECT_EQ(e->ReturnCode, SQL_ERROR);
            EXPECT_NE(std::string(e->StateText.c_str()).find(c.state), std::string::npos)
                << c.connect << "\n" << e->StateText.c_str();
            EXPECT_FALSE(e->ErrorText.IsEmpty());
            e->Delete();
        }
        EXPECT_TRUE(thrown) << c.connect;
        EXPECT_FALSE(db.IsConnected());
    }
    // Without the prefix nothing reaches the driver manager.
    CDatabase db;
    EXPECT_FALSE(db.Open(nullptr, false, false, RequiredEnv("VORDEX_TEST_PG_DRIVER").c_str(), false));
    EXPECT_EQ(TheOdbcEnvironment().EnvironmentHandle, nullptr);
}

}  // namespace
