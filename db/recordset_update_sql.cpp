// CRecordset: writing a row with a composed INSERT, UPDATE or DELETE statement
// on a second statement handle, and feeding data at execution.
#include "platform/odbc_headers.h"

#include <memory>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/long_binary.h"
#include "db/odbc_call.h"
#include "db/recordset.h"
#include "db/row_writer.h"

namespace vordex {

void CRecordset::PrepareUpdateStatement() {
    if (UpdateStatement != nullptr) {
        SQLRETURN rc = SQLFreeStmt(UpdateStatement, SQL_CLOSE);
        if (Succeeded(rc)) {
            if (Options & OptRepeatAdd) return;
            rc = SQLFreeStmt(UpdateStatement, SQL_RESET_PARAMS);
            if (Succeeded(rc)) return;
        }
        SQLFreeStmt(UpdateStatement, SQL_DROP);
        UpdateStatement = nullptr;
    }
    const SQLRETURN rc = SQLAllocStmt(Database->ConnectionHandle, &UpdateStatement);
    if (!Succeeded(rc)) {
        SQLHSTMT failed = UpdateStatement;
        UpdateStatement = nullptr;
        ThrowDBError(rc, Database, failed);
    }
    // Writes are bounded like the SELECT.
    Database->SetStatementOptions(UpdateStatement);
}

void CRecordset::ReadCursorName() {
    if (!CursorName.IsEmpty()) return;
    // Drivers name their cursors freely (psqlODBC's names are over 18
    // characters); a cut name would address another cursor or none.
    SQLSMALLINT length = 0;
    CText name;
    name.Reserve(64);
    for (;;) {
        const auto room = static_cast<SQLSMALLINT>(name.Capacity() + 1);
        const SQLRETURN rc = RepeatWhileExecuting([&] {
            return SQLGetCursorName(StatementHandle, reinterpret_cast<SQLCHAR*>(name.Buffer()), room, &length);
        });
        if (!Succeeded(rc)) ThrowError(rc);
        if (length < room) break;
        name.Reserve(static_cast<size_t>(length));
    }
    name.SyncLength();
    CursorName = name;
}

void CRecordset::BuildUpdateSql() {
    UpdateSql.Clear();
    uint32_t markers = 0;
    switch (EditMode) {
        case Adding:
            UpdateSql.Append("INSERT INTO ");
            UpdateSql.Append(SourceTable);
            UpdateSql.Append(" (");
            RunAppendPass(OpAppendNames, UpdateSql, ",");
            UpdateSql.SetLastChar(')');
            UpdateSql.Append(" VALUES (");
            RunAppendPass(OpAppendValues, UpdateSql, ",", UpdateStatement);
            UpdateSql.SetLastChar(')');
            break;
        case Editing:
            UpdateSql.Append("UPDATE ");
            UpdateSql.Append(SourceTable);
            UpdateSql.Append(" SET ");
            RunAppendPass(OpAppendAssignments, UpdateSql, ",", UpdateStatement, &markers);
            UpdateSql.SetLastChar(' ');
            break;
        default:  // NotEditing: a delete
            UpdateSql.Append("DELETE FROM ");
            UpdateSql.Append(SourceTable);
            break;
    }
    if (EditMode != Adding) Writer->AppendRowCondition(*this, markers);
    Database->ConvertBrackets(UpdateSql.Buffer());
    UpdateSql.SyncLength();

    if (Options & OptRepeatAddMarker) {
        CText converted;
        const CText& sent = Database->CodePages.ForDriver(UpdateSql, converted);
        const SQLRETURN rc = RepeatWhileExecuting([&] {
            return SQLPrepare(UpdateStatement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sent.c_str())), SQL_NTS);
        });
        if (!Succeeded(rc)) ThrowError(rc, UpdateStatement);
    }
}

void CRecordset::ExecuteUpdateSql() {
    CText converted;
    const CText& sent = Database->CodePages.ForDriver(UpdateSql, converted);
    const SQLRETURN rc = RepeatWhileExecuting([&] {
        return (Options & OptRepeatAdd)
                   ? SQLExecute(UpdateStatement)
                   : SQLExecDirect(UpdateStatement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sent.c_str())),
                                   SQL_NTS);
    });
    if (!Succeeded(rc)) ThrowError(rc, UpdateStatement);
    if (rc == SQL_NEED_DATA) SendDataAtExecution(UpdateStatement);

    SQLLEN count = 0;
    const SQLRETURN countRc = SQLRowCount(UpdateStatement, &count);
    // A driver that cannot tell (-1), or will not, counts as one row written.
    if (Succeeded(countRc) && count != -1) {
        if (count == 0) ThrowError(ErrorNoRowChanged);
        if (count != 1) ThrowTooManyRowsChanged(count);
    }
    UpdateSql.Clear();
}

void CRecordset::SendDataAtExecution(SQLHSTMT statement) {
    // A failure here leaves both statements waiting for data: cancel them.
    auto fail = [&](SQLRETURN rc) {
        auto* e = new CDBException(rc);
        e->BuildErrorText(Database, statement);
        CancelStatements();
        throw e;
    };
    SQLPOINTER token = nullptr;
    SQLRETURN rc = RepeatWhileExecuting([&] { return SQLParamData(statement, &token); });
    if (!Succeeded(rc)) fail(rc);
    while (rc == SQL_NEED_DATA) {
        // The token is the address bound for the parameter: a long-binary holder.
        auto* holder = static_cast<CLongBinary*>(token);
        void* data = holder->Lock();
        rc = RepeatWhileExecuting([&] { return SQLPutData(statement, data, holder->Length); });
        holder->Unlock();
        if (!Succeeded(rc)) fail(rc);
        rc = RepeatWhileExecuting([&] { return SQLParamData(statement, &token); });
        if (!Succeeded(rc)) ThrowError(rc, statement);
    }
}

void CRecordset::CancelStatements() {
    SQLCancel(StatementHandle);
    if (UpdateStatement != nullptr) SQLCancel(UpdateStatement);
}

}  // namespace vordex
