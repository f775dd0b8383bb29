#include "db/database.h"

#include "db/db_exception.h"
#include "db/odbc_environment.h"
#include "db/recordset.h"
#include "platform/code_page.h"
#include "platform/odbc_headers.h"
#include "platform/server_watch.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CDatabase, CObject)

CDatabase::~CDatabase() {
    try {
        Free();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

bool CDatabase::Open(const char* dataSource, bool exclusive, bool readOnly, const char* connect, bool cursorLibrary) {
    const char* given = connect != nullptr ? connect : "";
    if (!platform::StartsWithNoCase(given, "ODBC;")) return false;

    CText text(given + 5);
    if (dataSource != nullptr && *dataSource != '\0') {
        text.Append(";DSN=");
        text.Append(dataSource);
    }
    uint32_t options = 0;
    if (exclusive) options |= OpenExclusive;
    if (readOnly) options |= OpenReadOnly;
    if (cursorLibrary) options |= UseCursorLibrary;
    return OpenWithOptions(text.c_str(), options);
}

bool CDatabase::OpenWithOptions(const char* connect, uint32_t options) {
    Updatable = (options & OpenReadOnly) == 0;
    try {
        ConnectString = connect;
        AllocateConnection(options);
        if (!DriverConnect(options)) return false;
        VerifyConformance();
        ReadCapabilities();
        ChooseDriverCodePage();
        if (QueryTimeout > 0) Profile().BoundWaits(*this);
        Profile().CheckReadable(*this);
        WatchOwnSockets();
    } catch (...) {
        Free();
        throw;
    }
    return true;
}

void CDatabase::Close() {
    {
        DatabaseLockGuard guard(DatabaseLock());
        while (!OpenRecordsets.empty()) {
            CRecordset* recordset = OpenRecordsets.front();
            recordset->Close();  // removes itself from the list
            if (!OpenRecordsets.empty() && OpenRecordsets.front() == recordset) OpenRecordsets.pop_front();
            recordset->Database = nullptr;
        }
    }
    if (ConnectionHandle != nullptr) {
        // Unwatched before the driver closes them, so that the watch never
        // shuts down a descriptor that has meanwhile become another file.
        platform::ServerWatch::Forget(Sockets);
        Sockets.clear();
        Lost = false;
        SQLDisconnect(ConnectionHandle);
        SQLFreeConnect(ConnectionHandle);
        ConnectionHandle = nullptr;
        DatabaseLockGuard guard(DatabaseLock());
        --TheOdbcEnvironment().ConnectionCount;
    }
}

void CDatabase::Free() {
    try {
        Close();
    } catch (CException* e) {
        e->Delete();
    }
    DatabaseLockGuard guard(DatabaseLock());
    OdbcEnvironment& environment = TheOdbcEnvironment();
    if (environment.EnvironmentHandle != nullptr && environment.ConnectionCount == 0) {
        SQLFreeEnv(environment.EnvironmentHandle);
        environment.EnvironmentHandle = nullptr;
    }
}

void CDatabase::SetStatementOptions(SQLHSTMT statement) {
    if (QueryTimeout == -1 || Profile().TimeoutOutlivesStatement()) return;
    SQLRETURN rc = SQLSetStmtOption(statement, SQL_QUERY_TIMEOUT, static_cast<SQLULEN>(QueryTimeout));
    // A driver that refuses the time-out is not asked again on this connection.
    if (!Succeeded(rc)) QueryTimeout = -1;
}

bool CDatabase::Succeeded(SQLRETURN rc) const {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA_FOUND;
}

void CDatabase::ThrowError(SQLRETURN rc) { ThrowDBError(rc, this, nullptr); }

bool CDatabase::ConnectionLost() const {
    return Lost || (IsConnected() && platform::ServerWatch::CutAfter(Sockets) != 0);
}

void CDatabase::NoteFailure(const CDBException& e) {
    // Class 08: connection exceptions (08S01 link failure, 08003 not open).
    if (!Lost && IsConnected()) {
        Lost = e.HasState("08S01") || e.HasState("08003") || e.HasState("08001") || e.HasState("08007") ||
               platform::ServerWatch::CutAfter(Sockets) != 0 || IsConnectionDead();
    }
}

bool CDatabase::IsConnectionDead() const {
    if (ConnectionHandle == nullptr) return false;
    SQLULEN dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectOption(ConnectionHandle, SQL_ATTR_CONNECTION_DEAD, &dead);
    return Succeeded(rc) && rc != SQL_NO_DATA_FOUND && dead == SQL_CD_TRUE;
}

}  // namespace vordex
