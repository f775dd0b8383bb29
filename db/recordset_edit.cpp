// CRecordset: editing, adding and deleting rows, and writing them back.
#include "platform/odbc_headers.h"

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_call.h"
#include "db/recordset.h"

namespace vordex {
namespace {

struct SetPosStep {
    SQLUSMALLINT operation;
    SQLUSMALLINT rowStatus;  // what the row must show afterwards
};

// Indexed by EditMode: NotEditing deletes.
constexpr SetPosStep kSetPosSteps[] = {
    {SQL_DELETE, SQL_ROW_DELETED},
    {SQL_UPDATE, SQL_ROW_UPDATED},
    {SQL_ADD, SQL_ROW_ADDED},
};

}  // namespace

void CRecordset::BeginAdd() {
    if (!AppendAllowed) ThrowError(ErrorNotUpdatable);
    if (Options & OptMultiRow) return;
    if (CheckChanges && FieldCount > 0) {
        if (EditMode != NotEditing) RunRestoreCopiesPass();
        RunPass(OpSaveCopies);
    }
    SetFieldNull(nullptr, true);
    SetFieldChanged(nullptr, false);
    EditMode = Adding;
}

void CRecordset::Edit() {
    if (!UpdateAllowed) ThrowError(ErrorNotUpdatable);
    if (Options & OptMultiRow) return;
    if (!HasCurrentRow()) ThrowError(ErrorNoCurrentRow);
    if (CheckChanges && FieldCount > 0) {
        if (EditMode != NotEditing) RunRestoreCopiesPass();
        RunPass(OpSaveCopies);
    }
    EditMode = Editing;
}

bool CRecordset::Update() {
    if (Options & OptMultiRow) return false;
    if (EditMode != Editing && EditMode != Adding) ThrowError(ErrorNotEditing);
    return WriteRow();
}

void CRecordset::DeleteRow() {
    if (Options & OptMultiRow) return;
    if (EditMode != NotEditing) ThrowError(ErrorNotEditing);
    WriteRow();
}

void CRecordset::CancelUpdate() {
    if (EditMode == NotEditing) return;
    if (CheckChanges && FieldCount > 0) RunRestoreCopiesPass();
    EditMode = NotEditing;
}

bool CRecordset::WriteRow() {
    if (EditMode == Adding) {
        if (!AppendAllowed) ThrowError(ErrorNotUpdatable);
    } else {
        if (!UpdateAllowed) ThrowError(ErrorNotUpdatable);
        if (!HasCurrentRow()) ThrowError(ErrorNoCurrentRow);
    }
    if (EditMode != NotEditing && !IsFieldChanged(nullptr)) return false;

    Writer->Write(*this);

    // The row is written; a failure in the bookkeeping must not report otherwise.
    try {
        if (EditMode == Adding) {
            AtStart = 0;
            AtEnd = 0;
            if (Database->UsesCursorLibrary && CurrentRecord >= 0) {
                if (RecordCount != -1) ++RecordCount;
                ++CurrentRecord;
            }
            if (CheckChanges && FieldCount > 0) RunRestoreCopiesPass();
        } else if (EditMode == NotEditing) {  // the row was deleted
            if (CurrentRecord >= 0) {
                if (RecordCount > 0) --RecordCount;
                --CurrentRecord;
            }
            RowDeleted = 1;
            SetFieldNull(nullptr, true);
        }
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    EditMode = NotEditing;
    if (CheckChanges && !(Options & OptRepeatAdd)) SetFieldChanged(nullptr, false);
    return true;
}

void CRecordset::WriteBySetPos() {
    const SetPosStep& step = kSetPosSteps[EditMode];
    const bool writesValues = EditMode != NotEditing;
    if (writesValues) RunPass(OpPrepareSetPos);
    // Only a status this call writes tells about this write: psqlODBC leaves
    // the entry alone, and a fetch after the cursor's own earlier write of
    // the row left SQL_ROW_UPDATED there, also when this write changes
    // nothing. An entry still holding the mark was not written.
    constexpr SQLUSMALLINT kNotWritten = 0xFFFF;
    const SQLUSMALLINT fetchedStatus = RowStatus ? RowStatus[0] : kNotWritten;
    if (RowStatus) RowStatus[0] = kNotWritten;
    const SQLRETURN rc = RepeatWhileExecuting(
        [&] { return SQLSetPos(StatementHandle, 1, step.operation, SQL_LOCK_NO_CHANGE); });
    const SQLUSMALLINT writtenStatus = RowStatus ? RowStatus[0] : kNotWritten;
    if (RowStatus && writtenStatus == kNotWritten) RowStatus[0] = fetchedStatus;
    if (!Succeeded(rc)) ThrowDBError(rc, Database, StatementHandle);
    if (rc == SQL_NEED_DATA) SendDataAtExecution(StatementHandle);
    if (rc == SQL_SUCCESS_WITH_INFO) {
        if (writtenStatus != kNotWritten && writtenStatus != step.rowStatus) ThrowError(ErrorRowStatus);
        // The warning's own states: 01S03 no row was written (psqlODBC, for
        // a row changed or deleted elsewhere since it was read), 01S04 more
        // than one was.
        CDBException warning(rc);
        warning.BuildErrorText(Database, StatementHandle);
        if (warning.HasState("01S03")) ThrowError(ErrorRowStatus);
        if (warning.HasState("01S04")) ThrowError(ErrorTooManyRowsChanged);
    }
    if (writesValues) RunPass(OpFinishSetPos);
}

}  // namespace vordex
