// The four steps of CDatabase::OpenWithOptions.
#include "platform/odbc_headers.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/exception.h"
#include "db/library_messages.h"
#include "db/odbc_environment.h"
#include "platform/connect_string.h"
#include "platform/data_source_choice.h"
#include "platform/data_source_setting.h"
#include "platform/server_watch.h"

namespace vordex {
namespace {

// Room for the completed connect string. Drivers return long ones (psqlODBC
// lists every setting); a cut string would lose the keys read from it later.
constexpr SQLSMALLINT kCompletedConnectSize = 4096;

SQLUSMALLINT CompletionMode(uint32_t options) {
    if (options & NoPrompt) return SQL_DRIVER_NOPROMPT;
    if (options & ForcePrompt) return SQL_DRIVER_PROMPT;
    return SQL_DRIVER_COMPLETE;
}

/// True when `text` holds one of `words` (in lower case), in any case.
bool Mentions(std::string text, std::initializer_list<const char*> words) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : words) {
        if (text.find(word) != std::string::npos) return true;
    }
    return false;
}

/// True when `connect` reaches a driver whose name holds one of `words`:
/// its DRIVER names it, or its DSN is one whose driver does, as the driver
/// manager lists it or, for a data source it does not list, as the data
/// source's own Driver setting says (iODBC lists only those of odbc.ini's
/// [ODBC Data Sources] section, and connects to the others all the same).
bool Reaches(SQLHENV environment, const std::string& connect, std::initializer_list<const char*> words) {
    const std::string driver = platform::ConnectValue(connect.c_str(), "DRIVER");
    if (!driver.empty()) return Mentions(driver, words);
    const std::string dsn = platform::ConnectValue(connect.c_str(), "DSN");
    if (dsn.empty() || environment == nullptr) return false;
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[256];
    SQLSMALLINT nameLength = 0, descriptionLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
         SQL_SUCCEEDED(SQLDataSources(environment, direction, name, sizeof name, &nameLength, description,
                                      sizeof description, &descriptionLength));
         direction = SQL_FETCH_NEXT) {
        if (dsn == reinterpret_cast<char*>(name)) return Mentions(reinterpret_cast<char*>(description), words);
    }
    return Mentions(platform::DataSourceSetting(dsn, "DRIVER"), words);
}

/// The number `text` writes in decimal digits, or -1 when it writes none.
long DigitsValue(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::strtol(text.c_str(), nullptr, 10);
}

/// True when the connect string's Timeout is a number of at most `milliseconds`.
bool HasTimeoutWithin(const char* connect, long milliseconds) {
    const long timeout = DigitsValue(platform::ConnectValue(connect, "TIMEOUT"));
    return timeout >= 0 && timeout <= milliseconds;
}

/// Rows a block of psqlODBC's block reading. Measured on 1,000,000 rows of
/// ten columns: the first row in 18 ms and a peak of 16 MiB, where 50,000
/// took 80 ms and 1,000 spent more CPU a row.
constexpr const char* kBlockRows = "10000";

/// `connect` for psqlODBC with block reading (UseDeclareFetch=1), unless the
/// caller or the data source chose a mode: without it the driver reads the
/// whole result into memory at execution (490 MiB for those rows). "CX" is
/// psqlODBC's packed form of its switches, UseDeclareFetch among them.
std::string WithBlockReading(const std::string& connect) {
    const char* text = connect.c_str();
    if (!platform::ConnectOrDataSourceValue(text, "USEDECLAREFETCH").empty() ||
        !platform::ConnectOrDataSourceValue(text, "CX").empty()) {
        return connect;
    }
    std::string chosen = connect;
    if (!chosen.empty() && chosen.back() != ';') chosen += ';';
    chosen += "UseDeclareFetch=1";
    if (platform::ConnectOrDataSourceValue(text, "FETCH").empty() &&
        platform::ConnectOrDataSourceValue(text, "A7").empty()) {
        chosen += std::string(";Fetch=") + kBlockRows;
    }
    return chosen;
}

}  // namespace

void CDatabase::AllocateConnection(uint32_t options) {
    if (ConnectionHandle != nullptr) return;
    {
        DatabaseLockGuard guard(DatabaseLock());
        OdbcEnvironment& environment = TheOdbcEnvironment();
        if (environment.EnvironmentHandle == nullptr) {
            SQLHENV handle = nullptr;
            if (!Succeeded(SQLAllocEnv(&handle))) ThrowMemoryException();
            environment.EnvironmentHandle = handle;
        }
        SQLRETURN rc = SQLAllocConnect(environment.EnvironmentHandle, &ConnectionHandle);
        if (!Succeeded(rc)) {
            ConnectionHandle = nullptr;
            ThrowError(rc);  // the guard releases the lock as the exception leaves
        }
        ++environment.ConnectionCount;
    }
    SQLSetConnectOption(ConnectionHandle, SQL_LOGIN_TIMEOUT, LoginTimeout);
    if (!Updatable) SQLSetConnectOption(ConnectionHandle, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY);
    if (options & UseCursorLibrary) {
        SQLSetConnectOption(ConnectionHandle, SQL_ODBC_CURSORS, SQL_CUR_USE_ODBC);
        UsesCursorLibrary = 1;
    }
}

bool CDatabase::DriverConnect(uint32_t options) {
    SQLUSMALLINT mode = CompletionMode(options);
    std::string connect = platform::WithoutEmptyDataSource(ConnectString.c_str());

    // Where the driver manager would show its dialog, the platform layer asks
    // which data source to use (on Windows it leaves that to the dialog, over
    // the window it gives); a cancel ends like the dialog's cancel.
    const SQLHWND parent = platform::ConnectDialogParent();
    if (mode == SQL_DRIVER_PROMPT || (mode == SQL_DRIVER_COMPLETE && !platform::NamesDataSource(connect.c_str()))) {
        const platform::ServerWatchPause userAnswers;
        platform::DataSourceChoice choice = platform::ChooseDataSource(CurrentEnvironmentHandle());
        if (!choice.chosen) {
            Free();
            return false;
        }
        connect = platform::MergeConnectStrings(choice.connect, connect);
        // A data source chosen already is not asked for again; and unixODBC
        // refuses SQL_DRIVER_PROMPT without a window (S1092).
        if (parent == nullptr || !choice.connect.empty()) mode = SQL_DRIVER_COMPLETE;
    }
    // Without a window no driver can show a dialog: asked to complete, the
    // MariaDB driver tries one when the connect fails and answers "Dialog
    // failed" in place of the server's reason.
    if (parent == nullptr && mode == SQL_DRIVER_COMPLETE) mode = SQL_DRIVER_NOPROMPT;

    // The SQLite driver makes an empty database where the file is missing,
    // unless told not to, and waits 100 s for a file another process holds
    // locked, unless told a shorter time (see BoundSqliteLockWaits). The
    // first of two equal keys counts: the caller's own keys stay.
    const bool sqlite = Reaches(CurrentEnvironmentHandle(), connect, {"sqlite"});
    if (sqlite) {
        const long wait = SqliteLockWait();
        if (wait > 0 && !HasTimeoutWithin(connect.c_str(), wait)) connect = "Timeout=" + std::to_string(wait) + ";" + connect;
        connect += ";NoCreat=1";
    } else if (LoginTimeout > 0 && Reaches(CurrentEnvironmentHandle(), connect, {"maria", "mysql"})) {
        // The MariaDB driver leaves the login time-out to the TCP connect:
        // a frozen server held the handshake for good. Its last key counts,
        // so a CONN_TIMEOUT of the caller's stays.
        connect = "CONN_TIMEOUT=" + std::to_string(LoginTimeout) + ";" + connect;
    } else if (Reaches(CurrentEnvironmentHandle(), connect, {"postgres", "psqlodbc"})) {
        connect = WithBlockReading(connect);
    }

    SQLCHAR completed[kCompletedConnectSize];
    SQLSMALLINT completedLength = 0;
    std::memset(completed, 0, sizeof completed);
    const std::vector<platform::SocketId> before = platform::ProcessSockets();
    SQLRETURN rc = SQLDriverConnect(ConnectionHandle, parent,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())), SQL_NTS,
                                    completed, kCompletedConnectSize, &completedLength, mode);
    if (rc == SQL_NO_DATA_FOUND) {
        Free();
        return false;
    }
    if (!Succeeded(rc)) {
        if (sqlite) RefuseMissingDatabaseFile(connect.c_str());
        ThrowError(rc);
    }
    SentConnect = connect;
    // Candidates only: another thread of the host may have opened sockets
    // meanwhile (WatchOwnSockets tells them apart).
    Sockets = platform::NewSockets(before, platform::ProcessSockets());
    completed[kCompletedConnectSize - 1] = '\0';
    ConnectString = "ODBC;";
    ConnectString.Append(reinterpret_cast<char*>(completed));
    return true;
}

void CDatabase::VerifyConformance() {
    SQLUSMALLINT level = 0;
    SQLRETURN rc = SQLGetInfo(ConnectionHandle, SQL_ODBC_API_CONFORMANCE, &level, sizeof level, nullptr);
    if (!Succeeded(rc)) ThrowError(rc);
    if (static_cast<SQLSMALLINT>(level) < SQL_OAC_LEVEL1) ThrowError(1014);

    level = 0;
    rc = SQLGetInfo(ConnectionHandle, SQL_ODBC_SQL_CONFORMANCE, &level, sizeof level, nullptr);
    if (!Succeeded(rc)) ThrowError(rc);
    if (static_cast<SQLSMALLINT>(level) < SQL_OSC_MINIMUM) ThrowError(1015);
}

CText CDatabase::CurrentCatalog() const {
    // ODBC 2 gives a string option room for SQL_MAX_OPTION_STRING_LENGTH bytes.
    char name[SQL_MAX_OPTION_STRING_LENGTH + 1] = {};
    if (!Succeeded(SQLGetConnectOption(ConnectionHandle, SQL_CURRENT_QUALIFIER, name))) return CText();
    return CodePages.ToHost(name);
}

void CDatabase::ReadCapabilities() {
    UpdateCapabilities = 0;

    SQLUINTEGER mask = 0;
    if (Succeeded(SQLGetInfo(ConnectionHandle, SQL_POS_OPERATIONS, &mask, sizeof mask, nullptr))) {
        const SQLUINTEGER needed = SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD;
        if ((mask & needed) == needed) UpdateCapabilities |= UpdateBySetPos;
    }

    mask = 0;
    if (Succeeded(SQLGetInfo(ConnectionHandle, SQL_POSITIONED_STATEMENTS, &mask, sizeof mask, nullptr))) {
        const SQLUINTEGER needed = SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE;
        if ((mask & needed) == needed) UpdateCapabilities |= UpdateByPositionedSql;
    }

    SQLUINTEGER persistence = 0;
    if (Succeeded(SQLGetInfo(ConnectionHandle, SQL_BOOKMARK_PERSISTENCE, &persistence, sizeof persistence,
                             nullptr))) {
        BookmarkPersistence = persistence;
    }

    SQLUINTEGER ownerUsage = 0;
    OwnerUsage = Succeeded(SQLGetInfo(ConnectionHandle, SQL_OWNER_USAGE, &ownerUsage, sizeof ownerUsage, nullptr))
                     ? ownerUsage
                     : 0;

    char driverName[64] = {};
    SQLSMALLINT driverNameLength = 0;
    DriverName = Succeeded(SQLGetInfo(ConnectionHandle, SQL_DRIVER_NAME, driverName, sizeof driverName,
                                      &driverNameLength))
                     ? driverName
                     : "";

    // Their cursors hold every row from execution on: the end of the rows is
    // the end, whatever became of the server since.
    const std::string dbms = DbmsName();
    RowsEndOnlyOnLiveConnection = !IsMariaDb(dbms) && dbms != "SQLite";
    TextLengthsReported = dbms == "PostgreSQL" || dbms == "SQLite";

    mask = 0;
    if (!Succeeded(SQLGetInfo(ConnectionHandle, SQL_GETDATA_EXTENSIONS, &mask, sizeof mask, nullptr))) mask = 0;
    if (mask & SQL_GD_BOUND) UpdateCapabilities |= GetDataOnBound;

    if (Updatable) {
        char readOnly[10] = {};
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetInfo(ConnectionHandle, SQL_DATA_SOURCE_READ_ONLY, readOnly, sizeof readOnly, &length);
        Updatable = Succeeded(rc) && length == 1 && readOnly[0] != 'Y';
    } else {
        SQLSetConnectOption(ConnectionHandle, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY);
    }

    char quote[2] = {};
    SQLSMALLINT quoteLength = 0;
    SQLRETURN rc = SQLGetInfo(ConnectionHandle, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &quoteLength);
    QuoteChar = Succeeded(rc) && quoteLength == 1 ? quote[0] : ' ';
}

// The watch shuts down what it watches, so it must know for sure which of
// the sockets that appeared while the driver connected are this
// connection's: the server names the client port of its session, and the one
// candidate bound to that port is. Where the server cannot say (another
// DBMS, a Unix-domain socket) or the answer fits no single candidate,
// nothing is watched: a silent server then holds a call as long as the driver
// lets it, but no socket of the host is ever cut.
void CDatabase::WatchOwnSockets() {
    std::vector<platform::SocketId> candidates;
    candidates.swap(Sockets);
    if (candidates.empty()) return;
    const std::string dbms = DbmsName();
    std::vector<platform::SocketId> own;
    if (dbms == "PostgreSQL") {
        const long port = DigitsValue(QueryFirstValue("SELECT inet_client_port()"));
        if (port >= 0) own = platform::SocketsOnLocalPort(candidates, static_cast<int>(port));
    }
    // Through a proxy the server names the proxy's client port, and MariaDB
    // names none: the one socket connected to the address the connect
    // string names is the connection's. A socket a host thread opened to
    // the same address meanwhile makes two, and then none is watched.
    if (own.size() != 1 && (dbms == "PostgreSQL" || IsMariaDb(dbms))) {
        own = platform::SocketsToPeer(candidates, ServerHost().c_str(), ServerPort(dbms == "PostgreSQL" ? 5432 : 3306));
    }
    if (own.size() != 1) return;
    Sockets = own;
    platform::ServerWatch::Watch(Sockets);
}

std::string CDatabase::ServerHost() const {
    for (const char* key : {"SERVERNAME", "SERVER", "HOST"}) {
        const std::string host = platform::ConnectValue(ConnectString.c_str(), key);
        if (!host.empty()) return host;
    }
    return "";
}

int CDatabase::ServerPort(int defaultPort) const {
    const long port = DigitsValue(platform::ConnectValue(ConnectString.c_str(), "PORT"));
    return port >= 0 ? static_cast<int>(port) : defaultPort;
}

bool CDatabase::ExecuteQuietly(const char* sql) {
    SQLHSTMT statement = nullptr;
    if (!Succeeded(SQLAllocStmt(ConnectionHandle, &statement))) return false;
    const SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
    SQLFreeStmt(statement, SQL_DROP);
    return Succeeded(rc);
}

std::string CDatabase::QueryFirstValue(const char* sql) {
    SQLHSTMT statement = nullptr;
    if (!Succeeded(SQLAllocStmt(ConnectionHandle, &statement))) return "";
    char value[64] = {};
    SQLLEN indicator = SQL_NULL_DATA;
    const bool answered =
        Succeeded(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS)) &&
        Succeeded(SQLBindCol(statement, 1, SQL_C_CHAR, value, sizeof value, &indicator)) &&
        SQLFetch(statement) == SQL_SUCCESS && indicator != SQL_NULL_DATA;
    SQLFreeStmt(statement, SQL_DROP);
    return answered ? value : "";
}

std::string CDatabase::DbmsName() {
    char dbms[32] = {};
    SQLSMALLINT length = 0;
    return Succeeded(SQLGetInfo(ConnectionHandle, SQL_DBMS_NAME, dbms, sizeof dbms, &length)) ? dbms : "";
}

bool CDatabase::IsPostgreSql() { return DbmsName() == "PostgreSQL"; }

// psqlODBC gives its own writes (the UPDATE, INSERT and DELETE behind
// SQLSetPos) no statement time-out: it sets statement_timeout around the
// SELECT of a timed statement only, and back to 0 after it. A write held by a
// row lock would wait for as long as the lock is held. lock_timeout, which the
// driver leaves alone, ends such a wait with the server's own message after
// the query time-out. Failures are ignored: the server watch bounds the wait.
void CDatabase::BoundLockWaits() {
    if (QueryTimeout <= 0) return;
    const long milliseconds = QueryTimeout * 1000L;
    if (DbmsName() == "SQLite") {
        BoundSqliteLockWaits(SqliteLockWait());
        return;
    }
    const std::string dbms = DbmsName();
    if (dbms == "PostgreSQL") ExecuteQuietly(("SET lock_timeout = " + std::to_string(milliseconds)).c_str());
    // MariaDB waits 50 s for a row lock (a write by key locks the row it
    // checks) and a year for a table's (LOCK TABLES) unless told otherwise,
    // and its driver leaves the query time-out alone (a SELECT of 40 s took
    // 40 s): the session bounds both, a statement a second later than a lock
    // wait, so that a wait for a lock says so.
    if (IsMariaDb(dbms)) {
        const std::string seconds = std::to_string(QueryTimeout);
        ExecuteQuietly(("SET SESSION innodb_lock_wait_timeout = " + seconds + ", lock_wait_timeout = " + seconds).c_str());
        ExecuteQuietly(dbms == "MariaDB"
                           ? ("SET SESSION max_statement_time = " + std::to_string(QueryTimeout + 1)).c_str()
                           : ("SET SESSION max_execution_time = " + std::to_string(milliseconds + 1000)).c_str());
    }
}

// The SQLite driver waits for a file that another process holds locked as
// long as its connect key Timeout says, 100 s unless set, and takes no other
// bound: busy_timeout, the query time-out and the connection time-out all
// leave its wait alone. So a connection without a shorter Timeout is made
// again with one; opening a file costs little.
long CDatabase::SqliteLockWait() const {
    // It waits the time twice over (once in SQLite's busy handler, once more
    // in its own step): half the query time-out bounds the whole wait.
    return QueryTimeout > 0 ? QueryTimeout * 1000L / 2 : 0;
}

void CDatabase::RefuseMissingDatabaseFile(const char* connect) {
    const std::string path = platform::ConnectOrDataSourceValue(connect, "DATABASE");
    std::error_code error;
    if (path.empty() || std::filesystem::exists(path, error) || error) return;
    auto* e = new CDBException(SQL_ERROR);
    LoadLibraryMessage(MessageNoDatabaseFile, e->ErrorText);
    e->ErrorText.Append("\n");
    e->ErrorText.Append(path.c_str());
    throw e;
}

void CDatabase::RefuseUnreadableSqliteFile() {
    if (DbmsName() != "SQLite") return;
    SQLHSTMT statement = nullptr;
    if (!Succeeded(SQLAllocStmt(ConnectionHandle, &statement))) return;
    static const char kSql[] = "SELECT count(*) FROM sqlite_master";
    const SQLRETURN rc = SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSql)), SQL_NTS);
    if (!Succeeded(rc)) {
        auto* e = new CDBException(rc);
        e->BuildErrorText(this, statement);
        SQLFreeStmt(statement, SQL_DROP);
        throw e;
    }
    SQLFreeStmt(statement, SQL_DROP);
}

void CDatabase::BoundSqliteLockWaits(long milliseconds) {
    if (HasTimeoutWithin(ConnectString.c_str(), milliseconds)) return;
    // The first of two equal keys counts.
    const std::string bounded = "Timeout=" + std::to_string(milliseconds) + ";" + SentConnect;
    SQLCHAR out[kCompletedConnectSize] = {};
    SQLSMALLINT outLength = 0;
    SQLDisconnect(ConnectionHandle);
    SQLRETURN rc = SQLDriverConnect(ConnectionHandle, nullptr,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(bounded.c_str())), SQL_NTS, out,
                                    sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) {
        // Connected a moment ago: connect as before rather than not at all.
        rc = SQLDriverConnect(ConnectionHandle, nullptr,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(SentConnect.c_str())), SQL_NTS, out,
                              sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
        if (!Succeeded(rc)) ThrowError(rc);
    }
    out[sizeof out - 1] = '\0';
    ConnectString = "ODBC;";
    ConnectString.Append(reinterpret_cast<char*>(out));
}

}  // namespace vordex
