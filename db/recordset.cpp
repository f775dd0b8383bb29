// CRecordset: construction, destruction, close and the object's own state.
#include "db/recordset.h"

#include "platform/odbc_headers.h"

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_call.h"
#include "db/odbc_environment.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CRecordset, CObject)

CRecordset::CRecordset(CDatabase* connection) : Database(connection) {
    if (Database == nullptr || !Database->IsConnected()) return;
    // Over a live connection the statement is taken at once. A failure only
    // leaves the handle null, so that Open allocates again.
    try {
        SQLRETURN rc = SQLAllocStmt(Database->ConnectionHandle, &StatementHandle);
        if (!Succeeded(rc)) {
            StatementHandle = nullptr;
            ThrowDBError(SQL_INVALID_HANDLE, Database, nullptr);
        }
        DatabaseLockGuard guard(DatabaseLock());
        Database->OpenRecordsets.push_front(this);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

CRecordset::~CRecordset() {
    try {
        if (StatementHandle != nullptr) Close();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    try {
        if (OwnsDatabase) delete Database;
    } catch (...) {
    }
    Database = nullptr;
}

void CRecordset::Close() {
    CursorName.Clear();
    Writer = std::make_unique<PositionedRowWriter>();
    Source.reset();
    if (ColumnRecords && FieldCount != 0 && CheckChanges) FreeSavedCopies();
    FreeRowStatus();
    EditMode = NotEditing;
    ColumnRecords.reset();
    ColumnInfo.reset();
    ColumnStatus.reset();
    ParamStatus.reset();
    ParamLengths.reset();
    ColumnIndexMap.clear();
    ParamIndexMap.clear();

    if (StatementHandle != nullptr) {
        SQLFreeStmt(StatementHandle, SQL_DROP);
        StatementHandle = nullptr;
    }
    if (UpdateStatement != nullptr) {
        SQLFreeStmt(UpdateStatement, SQL_DROP);
        UpdateStatement = nullptr;
    }
    if (Database != nullptr) {
        DatabaseLockGuard guard(DatabaseLock());
        Database->OpenRecordsets.remove(this);
    }

    ResultColumnCount = -1;
    OpenState = 0;
    RowDeleted = 0;
    FetchFailed = 0;
    AppendAllowed = 0;
    UpdateAllowed = 0;
    Scrollable = 0;
    BoundColumnCount = 0;
    AtStart = 1;
    AtEnd = 1;
}

bool CRecordset::IsOpen() {
    if (StatementHandle == nullptr) return false;
    if (OpenState == 1) return true;

    SQLSMALLINT columns = 0;
    SQLRETURN rc = RepeatWhileExecuting([&] { return SQLNumResultCols(StatementHandle, &columns); });
    if (!Succeeded(rc)) {
        auto* e = new CDBException(rc);
        e->BuildErrorText(Database, StatementHandle);
        // Function sequence error: the statement was never executed.
        if (e->HasState("S1010")) {
            e->Delete();
            return false;
        }
        throw e;
    }
    return columns != 0;
}

void CRecordset::AllocateRowStatus() { RowStatus = std::make_unique<SQLUSMALLINT[]>(1); }

void CRecordset::FreeRowStatus() { RowStatus.reset(); }

void CRecordset::ResetPosition() {
    CurrentRecord = -1;
    AtEnd = 0;
    AtStart = 0;
    EndSeen = 0;
    RowDeleted = 0;
    FetchFailed = 0;
    RecordCount = 0;
}

void CRecordset::ResizeRowset(uint32_t) {}

CText CRecordset::DefaultConnect() { return CText("ODBC;"); }

CText CRecordset::DefaultSQL() { return CText(); }

void CRecordset::ExchangeFields(CFieldXfer&) {}

void CRecordset::ExchangeRowsetFields(CFieldXfer&) {}

bool CRecordset::Succeeded(SQLRETURN rc) const {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NEED_DATA || rc == SQL_NO_DATA_FOUND;
}

void CRecordset::ThrowError(SQLRETURN rc, SQLHSTMT statement) {
    ThrowDBError(rc, Database, statement != nullptr ? statement : StatementHandle);
}

}  // namespace vordex
