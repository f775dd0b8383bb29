#include <unistd.h>

#include <thread>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_environment.h"
#include "db/recordset.h"
#include "fake_odbc_fixture.h"

using namespace vordex;

namespace {

using DatabaseOpen = FakeOdbcTest;

struct PrefixCase {
    const char* dataSource;
    const char* connect;
    bool opens;
    const char* driverManagerGets;  // first argument of SQLDriverConnect
};

TEST_F(DatabaseOpen, PrefixAndDataSourceNameRules) {
    const PrefixCase cases[] = {
        {nullptr, "ODBC;DSN=S", true, "DSN=S"},
        {"", "odbc;DSN=S", true, "DSN=S"},
        {"S", "ODBC;", true, ";DSN=S"},
        {"S", "ODBC;UID=a", true, "UID=a;DSN=S"},
        {nullptr, "oDbC;DRIVER={X};Database=d", true, "DRIVER={X};Database=d"},
        // The SQLite driver: no file made, and half the time-out for a lock
        // (it waits it twice), unless the caller's own keys come first.
        {nullptr, "ODBC;DRIVER={SQLite3};Database=d", true, "Timeout=7500;DRIVER={SQLite3};Database=d;NoCreat=1"},
        {nullptr, "ODBC;Driver=libsqlite3odbc.so;Timeout=7500;NoCreat=0", true,
         "Driver=libsqlite3odbc.so;Timeout=7500;NoCreat=0;NoCreat=1"},
        {nullptr, "ODBC;DRIVER={SQLite3};Timeout=7501", true, "Timeout=7500;DRIVER={SQLite3};Timeout=7501;NoCreat=1"},
        // MariaDB's: a handshake bounded by the login time-out (its last key counts).
        {nullptr, "ODBC;DRIVER={MariaDB};Server=h", true, "CONN_TIMEOUT=15;DRIVER={MariaDB};Server=h"},
        // psqlODBC reads in blocks and names no statement on the server,
        // each unless the string or the data source chose.
        {nullptr, "ODBC;DRIVER={PostgreSQL};Port=1", true,
         "DRIVER={PostgreSQL};Port=1;UseDeclareFetch=1;Fetch=10000;UseServerSidePrepare=0"},
        {nullptr, "ODBC;Driver=psqlodbca.so;A7=50;", true,
         "Driver=psqlodbca.so;A7=50;UseDeclareFetch=1;UseServerSidePrepare=0"},
        {nullptr, "ODBC;DRIVER={PostgreSQL};usedeclarefetch=0;useserversideprepare=1", true,
         "DRIVER={PostgreSQL};usedeclarefetch=0;useserversideprepare=1"},
        {nullptr, "ODBC;DRIVER={PostgreSQL};CX=1c502bb", true, "DRIVER={PostgreSQL};CX=1c502bb"},
        {nullptr, "ODBC;DSN=Pg", true, "DSN=Pg;UseServerSidePrepare=0"},
        {nullptr, "ODBC;DSN=PgBlocks", true, "DSN=PgBlocks;UseDeclareFetch=1"},
        // A data source the driver manager does not list: its own Driver
        // setting names the driver.
        {nullptr, "ODBC;DSN=Unlisted", true, "Timeout=7500;DSN=Unlisted;NoCreat=1"},
        {"S", "DSN=S", false, nullptr},
        {"S", "ODBC", false, nullptr},
        {"S", "", false, nullptr},
        {"S", nullptr, false, nullptr},
    };
    for (const PrefixCase& c : cases) {
        fake_odbc::Reset();
        fake_odbc::SetDataSources({{"Pg", "PostgreSQL Unicode"}, {"PgBlocks", "PostgreSQL ANSI"}});
        fake_odbc::SetDataSourceSetting("Pg", "USEDECLAREFETCH", "0");
        fake_odbc::SetDataSourceSetting("PgBlocks", "FETCH", "500");
        fake_odbc::SetDataSourceSetting("PgBlocks", "USESERVERSIDEPREPARE", "1");
        fake_odbc::SetDataSourceSetting("Unlisted", "DRIVER", "SQLite3");
        CDatabase db;
        EXPECT_EQ(db.Open(c.dataSource, false, false, c.connect, false), c.opens) << c.connect;
        auto connects = fake_odbc::CallsTo("SQLDriverConnect");
        if (!c.opens) {
            EXPECT_TRUE(fake_odbc::Calls().empty()) << c.connect;
            EXPECT_FALSE(db.IsConnected());
            EXPECT_TRUE(db.ConnectString.IsEmpty());
            continue;
        }
        ASSERT_EQ(connects.size(), 1u) << c.connect;
        // Without a window no driver may try a dialog.
        EXPECT_EQ(connects[0].arguments, std::string(c.driverManagerGets) + "," +
                                             std::to_string(SQL_DRIVER_NOPROMPT) + ",nowindow");
        EXPECT_TRUE(db.IsConnected());
    }
}

TEST_F(DatabaseOpen, ConnectStringIsTheCompletedStringWithThePrefix) {
    fake_odbc::SetCompletedConnect("DSN=S;UID=u;DefaultDir=/data");
    CDatabase db;
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
    EXPECT_STREQ(db.ConnectString.c_str(), "ODBC;DSN=S;UID=u;DefaultDir=/data");
}

TEST_F(DatabaseOpen, OptionsReachTheConnectionBeforeConnecting) {
    CDatabase db;
    ASSERT_TRUE(db.Open(nullptr, true, true, "ODBC;DSN=S", true));
    auto options = fake_odbc::CallsTo("SQLSetConnectOption");
    ASSERT_EQ(options.size(), 4u);  // login time-out, read-only, cursor library, read-only again
    EXPECT_EQ(options[0].arguments, std::to_string(SQL_LOGIN_TIMEOUT) + ",15");
    EXPECT_EQ(options[1].arguments, std::to_string(SQL_ACCESS_MODE) + "," + std::to_string(SQL_MODE_READ_ONLY));
    EXPECT_EQ(options[2].arguments, std::to_string(SQL_ODBC_CURSORS) + "," + std::to_string(SQL_CUR_USE_ODBC));
    EXPECT_EQ(options[3].arguments, options[1].arguments);
    EXPECT_EQ(db.UsesCursorLibrary, 1);
    EXPECT_EQ(db.Updatable, 0);
    // Opened read-only, the data source is not asked whether it is read-only.
    for (const auto& call : fake_odbc::CallsTo("SQLGetInfo")) {
        EXPECT_NE(call.arguments, std::to_string(SQL_DATA_SOURCE_READ_ONLY));
    }
}

struct ModeCase {
    const char* connect;
    uint32_t options;
    const char* chosen;  // VORDEX_CONNECT, or null
    const char* driverManagerGets;
    SQLUSMALLINT mode;
};

TEST_F(DatabaseOpen, DataSourceChoiceReplacesTheDriverManagersDialog) {
    // Without a window (as on Linux) every connect is made without prompting:
    // a driver asked to complete tries a dialog it cannot show.
    const ModeCase cases[] = {
        {"", 0, "DSN=Sales", "DSN=Sales", SQL_DRIVER_NOPROMPT},
        {"DSN=", 0, "DSN=Sales", "DSN=Sales", SQL_DRIVER_NOPROMPT},
        {"UID=a;DSN=;PWD=b", 0, "DSN=Sales", "DSN=Sales;UID=a;PWD=b", SQL_DRIVER_NOPROMPT},
        {"DSN=Named", 0, "DSN=Sales", "DSN=Named", SQL_DRIVER_NOPROMPT},
        {"DRIVER={X};Port=1", 0, "DSN=Sales", "DRIVER={X};Port=1", SQL_DRIVER_NOPROMPT},
        {"DSN=Named", ForcePrompt, "DSN=Sales", "DSN=Sales;DSN=Named", SQL_DRIVER_NOPROMPT},
        {"DSN=", NoPrompt, "DSN=Sales", "", SQL_DRIVER_NOPROMPT},
        {"DSN=Named", NoPrompt | ForcePrompt, nullptr, "DSN=Named", SQL_DRIVER_NOPROMPT},
    };
    for (const ModeCase& c : cases) {
        fake_odbc::Reset();
        if (c.chosen != nullptr) setenv("VORDEX_CONNECT", c.chosen, 1);
        CDatabase db;
        EXPECT_TRUE(db.OpenWithOptions(c.connect, c.options)) << c.connect;
        auto connects = fake_odbc::CallsTo("SQLDriverConnect");
        ASSERT_EQ(connects.size(), 1u);
        EXPECT_EQ(connects[0].arguments,
                  std::string(c.driverManagerGets) + "," + std::to_string(c.mode) + ",nowindow")
            << c.connect;
        unsetenv("VORDEX_CONNECT");
    }
}

TEST_F(DatabaseOpen, CancelEndsWithoutExceptionAndFreesTheEnvironment) {
    // The driver manager's own cancel.
    fake_odbc::QueueReturn("SQLDriverConnect", SQL_NO_DATA_FOUND);
    {
        CDatabase db;
        EXPECT_FALSE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
        EXPECT_FALSE(db.IsConnected());
        EXPECT_EQ(fake_odbc::LiveConnections(), 0);
        EXPECT_EQ(fake_odbc::LiveEnvironments(), 0);
        EXPECT_EQ(TheOdbcEnvironment().EnvironmentHandle, nullptr);
    }

    // No VORDEX_CONNECT and no terminal to ask on: the choice is cancelled
    // before the driver manager is called. Run in a child without a
    // controlling terminal.
    EXPECT_EXIT(
        {
            setsid();
            fake_odbc::Reset();
            CDatabase db;
            bool opened = db.Open(nullptr, false, false, "ODBC;", false);
            bool clean = !opened && fake_odbc::CountCalls("SQLDriverConnect") == 0 &&
                         fake_odbc::LiveConnections() == 0 && fake_odbc::LiveEnvironments() == 0;
            std::exit(clean ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

struct FailureCase {
    const char* function;
    SQLRETURN rc;
    SQLUSMALLINT failingInfo;  // SQLGetInfo type to fail, or 0
    SQLRETURN expectedCode;
};

TEST_F(DatabaseOpen, FailuresLeaveTheObjectUnconnected) {
    const FailureCase cases[] = {
        {"SQLAllocConnect", SQL_ERROR, 0, SQL_ERROR},
        {"SQLDriverConnect", SQL_ERROR, 0, SQL_ERROR},
        {"SQLDriverConnect", SQL_INVALID_HANDLE, 0, SQL_INVALID_HANDLE},
        {"SQLDriverConnect", SQL_STILL_EXECUTING, 0, SQL_STILL_EXECUTING},
        {nullptr, SQL_ERROR, SQL_ODBC_API_CONFORMANCE, SQL_ERROR},
        {nullptr, SQL_ERROR, SQL_ODBC_SQL_CONFORMANCE, SQL_ERROR},
    };
    for (const FailureCase& c : cases) {
        fake_odbc::Reset();
        if (c.function != nullptr) fake_odbc::QueueReturn(c.function, c.rc);
        if (c.failingInfo != 0) fake_odbc::FailInfo(c.failingInfo, c.rc);
        fake_odbc::QueueDiagnostics({{"IM002", 0, "[unixODBC][Driver Manager]Data source name not found"}});
        CDatabase db;
        try {
            db.Open(nullptr, false, false, "ODBC;DSN=Nowhere", false);
            ADD_FAILURE() << "no exception for " << (c.function ? c.function : "SQLGetInfo");
        } catch (CDBException* e) {
            EXPECT_EQ(e->ReturnCode, c.expectedCode);
            if (c.rc == SQL_ERROR) {
                EXPECT_STREQ(e->ErrorText.c_str(), "Data source name not found\n");
                EXPECT_STREQ(e->StateText.c_str(), "State:IM002,Native:0,Origin:[unixODBC][Driver Manager]\n");
            }
            e->Delete();
        }
        EXPECT_FALSE(db.IsConnected());
        EXPECT_EQ(fake_odbc::LiveConnections(), 0);
        EXPECT_EQ(fake_odbc::LiveEnvironments(), 0);
    }
}

TEST_F(DatabaseOpen, ConformanceBelowTheMinimumIsALibraryError) {
    struct Case {
        SQLUSMALLINT info;
        SQLUINTEGER value;
        SQLRETURN code;
    };
    const Case cases[] = {{SQL_ODBC_API_CONFORMANCE, SQL_OAC_NONE, 1014},
                          {SQL_ODBC_SQL_CONFORMANCE, 0xFFFF /* -1 as 16 bits */, 1015}};
    for (const Case& c : cases) {
        fake_odbc::Reset();
        fake_odbc::SetInfoNumber(c.info, c.value);
        CDatabase db;
        try {
            db.Open(nullptr, false, false, "ODBC;DSN=S", false);
            ADD_FAILURE() << "no exception for " << c.code;
        } catch (CDBException* e) {
            EXPECT_EQ(e->ReturnCode, c.code);
            EXPECT_TRUE(e->StateText.IsEmpty());
            e->Delete();
        }
        EXPECT_FALSE(db.IsConnected());
        EXPECT_EQ(fake_odbc::CountCalls("SQLError"), 0);
        EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    }
    // SQL conformance at the minimum (0) is enough.
    fake_odbc::Reset();
    fake_odbc::SetInfoNumber(SQL_ODBC_SQL_CONFORMANCE, SQL_OSC_MINIMUM);
    CDatabase db;
    EXPECT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
}

TEST_F(DatabaseOpen, EnvironmentAllocationFailureIsOutOfMemory) {
    fake_odbc::QueueReturn("SQLAllocEnv", SQL_ERROR);
    CDatabase db;
    bool outOfMemory = false;
    try {
        db.Open(nullptr, false, false, "ODBC;DSN=S", false);
    } catch (CMemoryException* e) {
        outOfMemory = true;
        e->Delete();
    }
    EXPECT_TRUE(outOfMemory);
    EXPECT_FALSE(db.IsConnected());
    EXPECT_EQ(TheOdbcEnvironment().EnvironmentHandle, nullptr);
}

TEST_F(DatabaseOpen, ConnectionsShareOneEnvironmentThatTheLastFreeReleases) {
    auto* first = new CDatabase;
    auto* second = new CDatabase;
    ASSERT_TRUE(first->Open(nullptr, false, false, "ODBC;DSN=A", false));
    ASSERT_TRUE(second->Open(nullptr, false, false, "ODBC;DSN=B", false));
    EXPECT_EQ(fake_odbc::CountCalls("SQLAllocEnv"), 1);
    EXPECT_EQ(TheOdbcEnvironment().ConnectionCount, 2);

    first->Close();  // a mere Close keeps the environment
    EXPECT_EQ(fake_odbc::LiveEnvironments(), 1);
    delete first;
    EXPECT_EQ(fake_odbc::LiveEnvironments(), 1);
    EXPECT_EQ(TheOdbcEnvironment().ConnectionCount, 1);
    delete second;
    EXPECT_EQ(fake_odbc::LiveEnvironments(), 0);
    EXPECT_EQ(fake_odbc::LiveConnections(), 0);
    EXPECT_EQ(TheOdbcEnvironment().EnvironmentHandle, nullptr);
}

TEST_F(DatabaseOpen, CloseOfAnUnconnectedObjectDoesNothing) {
    CDatabase db;
    db.Close();
    db.Close();
    EXPECT_TRUE(fake_odbc::Calls().empty());
    EXPECT_FALSE(db.IsConnected());

    // A closed object can be opened again and keeps what it learnt.
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
    db.Close();
    EXPECT_EQ(fake_odbc::CountCalls("SQLDisconnect"), 1);
    EXPECT_EQ(db.QuoteChar, '"');
    EXPECT_STREQ(db.ConnectString.c_str(), "ODBC;DSN=S");
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
    EXPECT_TRUE(db.IsConnected());
}

// A result set whose Close fails, as when its driver refuses to free the statement.
class FailingRecordset : public CRecordset {
public:
    using CRecordset::CRecordset;
    bool fail = true;
    void Close() override {
        if (fail) ThrowDBError(SQL_ERROR, nullptr, nullptr);
        CRecordset::Close();
    }
};

TEST_F(DatabaseOpen, CloseClosesTheOpenResultSetsFirst) {
    CDatabase db;
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
    CRecordset older(&db);
    CRecordset newer(&db);
    ASSERT_EQ(db.OpenRecordsets.front(), &newer);
    EXPECT_EQ(fake_odbc::LiveStatements(), 2);
    db.Close();
    EXPECT_EQ(fake_odbc::LiveStatements(), 0);
    EXPECT_TRUE(db.OpenRecordsets.empty());
    EXPECT_EQ(older.Database, nullptr);
    EXPECT_EQ(newer.Database, nullptr);
    EXPECT_TRUE(newer.AtStart && newer.AtEnd);
    EXPECT_FALSE(db.IsConnected());
}

TEST_F(DatabaseOpen, AResultSetThatFailsToCloseKeepsTheConnection) {
    CDatabase db;
    ASSERT_TRUE(db.Open(nullptr, false, false, "ODBC;DSN=S", false));
    CRecordset good(&db);
    FailingRecordset failing(&db);
    bool thrown = false;
    try {
        db.Close();
    } catch (CDBException* e) {
        thrown = true;
        e->Delete();
    }
    EXPECT_TRUE(thrown);
    EXPECT_TRUE(db.IsConnected());
    EXPECT_EQ(db.OpenRecordsets.size(), 2u);
    EXPECT_EQ(fake_odbc::CountCalls("SQLDisconnect"), 0);
    // The lock was released: another thread can take it.
    bool lockFree = false;
    std::thread([&] {
        lockFree = DatabaseLock().try_lock();
        if (lockFree) DatabaseLock().unlock();
    }).join();
    EXPECT_TRUE(lockFree);
    failing.fail = false;
}

}  // namespace
