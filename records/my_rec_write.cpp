// CMyRec: writing a row by its key where the cursor is not written through,
// and showing the row as stored after a write.
#include "platform/odbc_headers.h"

#include "db/database.h"
#include "db/db_exception.h"
#include "db/library_messages.h"
#include "db/odbc_call.h"
#include "records/my_rec.h"

namespace vordex {
namespace {

constexpr int32_t kDeleting = 0;
constexpr int32_t kEditing = 1;

/// A statement of its own on the record's connection, in a transaction that
/// is rolled back unless committed: whatever a write by key does before it
/// fails is undone.
class KeyWriteTransaction {
public:
    explicit KeyWriteTransaction(CMyRec& record) : record_(record) {
        const SQLRETURN rc = SQLAllocStmt(record.Database->ConnectionHandle, &statement_);
        if (!SQL_SUCCEEDED(rc)) {
            statement_ = nullptr;
            ThrowDBError(rc, record.Database, nullptr);
        }
        record.Database->SetStatementOptions(statement_);
        try {
            // SQLite: the write lock at once, so that no other writer comes
            // between the check and the write.
            Run(record.WriteDialect == KeyWriteDialect::Sqlite ? "BEGIN IMMEDIATE" : "START TRANSACTION");
        } catch (...) {
            SQLFreeStmt(statement_, SQL_DROP);
            throw;
        }
    }
    ~KeyWriteTransaction() {
        if (!committed_) {
            SQLFreeStmt(statement_, SQL_CLOSE);
            RepeatWhileExecuting([&] { return SQLExecDirect(statement_, Sql("ROLLBACK"), SQL_NTS); });
        }
        SQLFreeStmt(statement_, SQL_DROP);
    }
    KeyWriteTransaction(const KeyWriteTransaction&) = delete;
    KeyWriteTransaction& operator=(const KeyWriteTransaction&) = delete;

    SQLHSTMT Statement() const { return statement_; }

    void Commit() {
        Run("COMMIT");
        committed_ = true;
    }

private:
    static SQLCHAR* Sql(const char* sql) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)); }

    void Run(const char* sql) {
        SQLFreeStmt(statement_, SQL_CLOSE);
        SQLFreeStmt(statement_, SQL_RESET_PARAMS);
        const SQLRETURN rc = RepeatWhileExecuting([&] { return SQLExecDirect(statement_, Sql(sql), SQL_NTS); });
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) record_.ThrowError(rc, statement_);
    }

    CMyRec& record_;
    SQLHSTMT statement_ = nullptr;
    bool committed_ = false;
};

}  // namespace

bool CMyRec::Update() {
    if (KeyFields.empty() || EditMode != kEditing || (Options & OptMultiRow)) return CRecordset::Update();
    // As the write itself would refuse, before any statement runs.
    if (!UpdateAllowed) ThrowError(ErrorNotUpdatable);
    if (!HasCurrentRow()) ThrowError(ErrorNoCurrentRow);
    if (!IsFieldChanged(nullptr)) return false;
    KeyFieldsWritten = 0;
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        if (ColumnStatus[KeyFields[k]] & FieldChanged) KeyFieldsWritten |= uint64_t{1} << k;
    }
    bool wrote = false;
    KeyAfterWrite.clear();
    WriteByKey([&](SQLHSTMT statement) {
        wrote = CRecordset::Update();
        if (wrote && KeyFieldsWritten != 0) ReadKeyAfterWrite(statement);
    });
    return wrote;
}

void CMyRec::DeleteRow() {
    if (KeyFields.empty() || EditMode != kDeleting || (Options & OptMultiRow)) {
        CRecordset::DeleteRow();
        return;
    }
    if (!UpdateAllowed) ThrowError(ErrorNotUpdatable);
    if (!HasCurrentRow()) ThrowError(ErrorNoCurrentRow);
    WriteByKey([&](SQLHSTMT) { CRecordset::DeleteRow(); });
}

template <typename Write>
void CMyRec::WriteByKey(Write write) {
    RowKey = CurrentRowKey();
    // A NULL names no row (SQLite allows NULL in a key that is not the rowid).
    for (const KeyValue& value : RowKey) {
        if (value.IsNull) ThrowLibraryMessage(MessageNullKey);
    }
    KeyWriteTransaction transaction(*this);
    CheckRowAsRead(transaction.Statement());
    write(transaction.Statement());
    transaction.Commit();
}

const std::vector<KeyValue>& CMyRec::CurrentRowKey() {
    if (CurrentKeyRead) return CurrentKey;
    CurrentKey.resize(KeyFields.size());
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        KeyValue& value = CurrentKey[k];
        if (ReadFromListedColumn(KeyForms[k])) {
            // As read: while a write is composed the member may hold the
            // new key already, and its saved copy the one read.
            const ColumnRecord& record = ColumnRecords[KeyFields[k]];
            const bool editing = EditMode != 0 && record.Saved.Text != nullptr;
            value = KeyValue{};
            value.Form = editing ? ((record.SavedStatus & FieldNull) ? "" : record.Saved.Text->c_str())
                                 : Values[KeyFields[k]].c_str();
            value.IsNull = value.Form.empty();
            if (!value.IsNull && !ParseKeyForm(KeyForms[k], value)) ThrowError(SQL_ERROR);
            continue;
        }
        const SQLRETURN rc = ReadKeyValue(StatementHandle, KeyFormColumn(k), KeyForms[k], value);
        if (!SQL_SUCCEEDED(rc)) ThrowError(rc);
    }
    CurrentKeyRead = true;
    return CurrentKey;
}

void CMyRec::ReadKeyAfterWrite(SQLHSTMT statement) {
    // The written key fields as the UPDATE assigned them: the comparison
    // converts the text the same way (SQLite's '01' into an INTEGER key is 1).
    std::vector<KeyValue> key = RowKey;
    std::vector<CText> sent(KeyFields.size());
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        if (!(KeyFieldsWritten & (uint64_t{1} << k))) continue;
        const CText& value = Values[KeyFields[k]];
        if (value.IsEmpty()) return;  // NULL names no row
        CText converted;
        sent[k] = Database->CodePages.ForDriver(value, converted);
        key[k] = KeyValue{};
        key[k].Bytes.assign(sent[k].c_str(), sent[k].Length());
        key[k].Indicator = static_cast<SQLLEN>(key[k].Bytes.size());
    }
    CText sql("SELECT ");
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        sql.Append(KeyFormExpression(KeyForms[k], KeyNames[k]));
        sql.Append(k + 1 < KeyFields.size() ? "," : " FROM ");
    }
    sql.Append(SourceTable);
    sql.Append(" WHERE");
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_RESET_PARAMS);
    if (!Succeeded(AppendKeyCondition(sql, statement, 1, KeyNames, key))) return;
    Database->ConvertBrackets(sql.Buffer());
    sql.SyncLength();
    CText converted;
    const CText& text = Database->CodePages.ForDriver(sql, converted);
    SQLRETURN rc = RepeatWhileExecuting([&] {
        return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS);
    });
    // Only a row found alone is the row written; else the texts tell.
    std::vector<KeyValue> found(KeyFields.size());
    if (!Succeeded(rc) || !SQL_SUCCEEDED(RepeatWhileExecuting([&] { return SQLFetch(statement); }))) return;
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        if (!SQL_SUCCEEDED(ReadKeyValue(statement, static_cast<SQLUSMALLINT>(k + 1), KeyForms[k], found[k]))) return;
    }
    if (RepeatWhileExecuting([&] { return SQLFetch(statement); }) != SQL_NO_DATA) return;
    KeyAfterWrite = std::move(found);
}

void CMyRec::AppendRowCondition(uint32_t markers) {
    if (KeyFields.empty()) {
        CRecordset::AppendRowCondition(markers);
        return;
    }
    UpdateSql.Append(" WHERE");
    const SQLRETURN rc =
        AppendKeyCondition(UpdateSql, UpdateStatement, static_cast<SQLUSMALLINT>(markers + 1), KeyNames, RowKey);
    if (!Succeeded(rc)) ThrowError(rc, UpdateStatement);
}

void CMyRec::CheckRowAsRead(SQLHSTMT statement) {
    // The record's own statement, "SELECT ... FROM t WHERE <filter>", with
    // the key in place of the filter: the values come as the cursor read them.
    const size_t head = SqlStatement.Length() - Filter.Length();
    if (SqlStatement.Length() < Filter.Length() || CText(SqlStatement.c_str() + head) != Filter) {
        ThrowError(SQL_ERROR);
    }
    CText sql(SqlStatement.c_str(), head);
    CText condition;
    SQLRETURN rc = AppendKeyCondition(condition, statement, 1, KeyNames, RowKey);
    if (!Succeeded(rc)) ThrowError(rc, statement);
    Database->ConvertBrackets(condition.Buffer());
    condition.SyncLength();
    sql.Append(condition.c_str() + 1);
    // MariaDB: the row stays as checked until the write commits.
    if (WriteDialect == KeyWriteDialect::MariaDb) sql.Append(" FOR UPDATE");
    CText converted;
    const CText& sent = Database->CodePages.ForDriver(sql, converted);
    // Prepared, as the cursor's statement was: MariaDB's driver renders
    // numbers of prepared statements its own way.
    rc = RepeatWhileExecuting([&] {
        return SQLPrepare(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sent.c_str())), SQL_NTS);
    });
    if (Succeeded(rc)) rc = RepeatWhileExecuting([&] { return SQLExecute(statement); });
    if (!Succeeded(rc)) ThrowError(rc, statement);

    SQLLEN rows = 0;
    bool same = true;
    while ((rc = RepeatWhileExecuting([&] { return SQLFetch(statement); })) != SQL_NO_DATA) {
        if (!Succeeded(rc)) ThrowError(rc, statement);
        if (++rows == 1) same = MatchesRowAsRead(statement);
    }
    if (rows > 1) ThrowTooManyRowsChanged(rows);
    // Gone, or changed since it was read.
    if (rows == 0 || !same) ThrowError(ErrorRowStatus);
}

bool CMyRec::MatchesRowAsRead(SQLHSTMT statement) {
    std::string text;
    bool isNull = false;
    for (uint32_t i = 0; i < ListedCount(); ++i) {
        if (!SQL_SUCCEEDED(ReadWholeText(statement, static_cast<SQLUSMALLINT>(i + 1), text, isNull))) return false;
        const ColumnRecord& record = ColumnRecords[i];
        const bool wasNull = (record.SavedStatus & FieldNull) != 0;
        if (isNull != wasNull) return false;
        if (!isNull && (record.Saved.Text == nullptr || Database->CodePages.ToHost(text.c_str()) != *record.Saved.Text)) {
            return false;
        }
    }
    KeyValue now;
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        // A form read from the listed column was compared above.
        if (ReadFromListedColumn(KeyForms[k])) continue;
        if (!SQL_SUCCEEDED(ReadKeyValue(statement, KeyFormColumn(k), KeyForms[k], now)) || now.Form != RowKey[k].Form) {
            return false;
        }
    }
    return true;
}

void CMyRec::ShowStoredRow() {
    if (!Scrollable) return;
    if (!UpdateBySql) {
        Move(0, SQL_FETCH_RELATIVE);
        return;
    }
    if (KeyFields.empty() || CurrentRecord < 0 || RowKey.size() != KeyFields.size()) return;
    const int32_t row = CurrentRecord;
    std::vector<CText> written;
    for (uint32_t field : KeyFields) written.push_back(Values[field]);
    Refresh();
    Move(row + 1, SQL_FETCH_ABSOLUTE);
    // A new key can move the row (SQLite keeps a table's rows in key
    // order): the row shown, and written next, is the one with that key.
    for (bool first = true; HasCurrentRow() && !HoldsWrittenKey(written); first = false) {
        Move(1, first ? SQL_FETCH_FIRST : SQL_FETCH_NEXT);
    }
}

bool CMyRec::HoldsWrittenKey(const std::vector<CText>& written) {
    for (size_t k = 0; k < KeyFields.size(); ++k) {
        const bool keyWritten = KeyFieldsWritten & (uint64_t{1} << k);
        bool same;
        if (!keyWritten) {
            same = CurrentRowKey()[k].Form == RowKey[k].Form;
        } else if (!KeyAfterWrite.empty()) {
            same = CurrentRowKey()[k].Form == KeyAfterWrite[k].Form;
        } else {
            // Not found alone after the write: the row whose key reads as written.
            same = Values[KeyFields[k]] == written[k];
        }
        if (!same) return false;
    }
    return true;
}

}  // namespace vordex
