// The first steps of CDatabase::OpenWithOptions: the handle, the connect,
// what the driver can do.
#include <cstring>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/exception.h"
#include "db/library_messages.h"
#include "db/odbc_environment.h"
#include "platform/connect_string.h"
#include "platform/data_source_choice.h"
#include "platform/odbc_headers.h"
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

    ChosenProfile = &ProfileForConnectString(CurrentEnvironmentHandle(), connect);
    CallerConnect = connect;
    connect = Profile().PrepareConnectString(*this, connect);

    SQLCHAR completed[kCompletedConnectSize];
    SQLSMALLINT completedLength = 0;
    std::memset(completed, 0, sizeof completed);
    const std::vector<platform::SocketId> before = platform::ProcessSockets();
    SQLRETURN rc;
    {
        const platform::ServerWatchConnecting login(LoginSockets(before, connect));
        rc = SQLDriverConnect(ConnectionHandle, parent, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                              SQL_NTS, completed, kCompletedConnectSize, &completedLength, mode);
        if (!Succeeded(rc) && login.CutAfter() != 0) ThrowLibraryMessage(MessageNoAnswer, login.CutAfter());
    }
    if (rc == SQL_NO_DATA_FOUND) {
        Free();
        return false;
    }
    if (!Succeeded(rc)) {
        Profile().ExplainFailedConnect(connect);
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

SQLRETURN CDatabase::ConnectAgain(const std::string& connect) {
    SQLCHAR completed[kCompletedConnectSize] = {};
    SQLSMALLINT completedLength = 0;
    SQLDisconnect(ConnectionHandle);
    const SQLRETURN rc =
        SQLDriverConnect(ConnectionHandle, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                         SQL_NTS, completed, sizeof completed, &completedLength, SQL_DRIVER_NOPROMPT);
    if (!Succeeded(rc)) return rc;
    completed[sizeof completed - 1] = '\0';
    ConnectString = "ODBC;";
    ConnectString.Append(reinterpret_cast<char*>(completed));
    return rc;
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
    if (Succeeded(SQLGetInfo(ConnectionHandle, SQL_BOOKMARK_PERSISTENCE, &persistence, sizeof persistence, nullptr))) {
        BookmarkPersistence = persistence;
    }

    SQLUINTEGER ownerUsage = 0;
    OwnerUsage = Succeeded(SQLGetInfo(ConnectionHandle, SQL_OWNER_USAGE, &ownerUsage, sizeof ownerUsage, nullptr))
                     ? ownerUsage
                     : 0;

    char driverName[64] = {};
    SQLSMALLINT driverNameLength = 0;
    DriverName =
        Succeeded(SQLGetInfo(ConnectionHandle, SQL_DRIVER_NAME, driverName, sizeof driverName, &driverNameLength))
            ? driverName
            : "";

    // The connection's own names settle which driver it is, whatever the
    // connect string suggested.
    ChosenProfile = &ProfileForConnection(DbmsName(), DriverName.c_str());
    DriverReadingChosen = Profile().ReadingChosenIn(CallerConnect);
    RowsEndOnlyOnLiveConnection = Profile().RowsEndOnlyOnLiveConnection();
    TextLengthsReported = Profile().TextLengthsReported();

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
    QuoteChar = Profile().IdentifierQuote(Succeeded(rc) && quoteLength == 1 ? quote[0] : ' ');
}

}  // namespace vordex
