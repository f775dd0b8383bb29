#include "records/key_row_writer.h"

#include "db/bracket_name.h"
#include "db/database.h"
#include "db/db_exception.h"
#include "db/field_xfer.h"
#include "db/library_messages.h"
#include "db/odbc_call.h"
#include "db/sql_types.h"
#include "db/write_transaction.h"
#include "records/own_keyset_cursor.h"
#include "records/my_rec.h"

namespace vordex {
namespace {

/// After a failed write the next one starts on a new statement: MariaDB's
/// driver crashed preparing a statement with parameters on a handle whose
/// direct execution with parameters had failed.
void DropUpdateStatement(CRecordset& record) {
    if (record.UpdateStatement == nullptr) return;
    SQLFreeStmt(record.UpdateStatement, SQL_DROP);
    record.UpdateStatement = nullptr;
}

/// The most bytes a value of the record holds in the host's code page.
constexpr size_t kValueBytes = 255;

SQLCHAR* SqlText(const CText& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

/// Prepares and executes `sql` (in the host's code page) on `statement`.
/// Prepared, as the cursor's statement was: MariaDB's driver renders
/// numbers of prepared statements its own way.
SQLRETURN PrepareAndExecute(CDatabase& database, SQLHSTMT statement, const CText& sql) {
    CText converted;
    const CText& sent = database.CodePages.ForDriver(sql, converted);
    SQLRETURN rc = RepeatWhileExecuting([&] { return SQLPrepare(statement, SqlText(sent), SQL_NTS); });
    if (SQL_SUCCEEDED(rc)) rc = RepeatWhileExecuting([&] { return SQLExecute(statement); });
    return rc;
}

/// True when the table `quotedName` (as the statement names it) has the
/// system columns `names` that name a row version: a view has none.
bool HasRowVersion(CDatabase& database, const CText& quotedName, const std::vector<const char*>& names) {
    CText sql("SELECT ");
    for (size_t i = 0; i < names.size(); ++i) {
        sql.Append(i == 0 ? "" : ",");
        sql.Append(names[i]);
    }
    sql.Append(" FROM ");
    sql.Append(quotedName);
    sql.Append(" WHERE 1=0");
    database.ConvertBrackets(sql.Buffer());
    sql.SyncLength();
    CText converted;
    return database.ExecuteQuietly(database.CodePages.ForDriver(sql, converted).c_str());
}

}  // namespace

std::unique_ptr<KeyRowWriter> KeyRowWriter::For(CMyRec& record) {
    CDatabase& database = *record.Database;
    const DriverProfile& profile = database.Profile();
    const KeyWriteTraits& traits = *profile.KeyWrites();
    // A hot standby, a read-only session or replica: every write would fail.
    // The key still names the rows that the keyset reads.
    if (record.UpdateAllowed && record.ReadOnlyMessage == 0 && traits.readOnlyQuery != nullptr &&
        database.QueryFirstValue(traits.readOnlyQuery) == "1") {
        record.ReadOnlyMessage = MessageServerReadOnly;
    }
    const uint32_t count = record.ListedCount();
    const auto typeOf = [&](uint32_t field) {
        return record.FieldTypeList != nullptr ? record.FieldTypeList[field] : int32_t{SQL_VARCHAR};
    };
    std::vector<FormColumn> columns;
    std::vector<uint32_t> keyFields = PrimaryKeyFields(database, traits.primaryKeyQuery, record.TableOwner,
                                                       record.TableName, record.FieldNameList, count);
    if (keyFields.empty() && traits.uniqueKeyQuery != nullptr) {
        keyFields = PrimaryKeyFields(database, traits.uniqueKeyQuery, record.TableOwner, record.TableName,
                                     record.FieldNameList, count);
    }
    for (uint32_t field : keyFields) {
        columns.push_back({BracketName(record.FieldNameList[field].c_str(), database.QuoteChar),
                           profile.KeyFormFor(typeOf(field)), static_cast<int32_t>(field), true});
    }
    if (columns.empty()) {
        // Without a key, the row version where the table has one.
        const std::vector<const char*> version = profile.RowVersionColumns();
        if (version.empty() || !HasRowVersion(database, record.DefaultSQL(), version)) return nullptr;
        for (const char* name : version) columns.push_back({name, KeyForm::Text, -1, true});
    }
    // A key that is the row's own number names its rows as it reads:
    // nothing more is selected for every row.
    if (columns.size() == 1 && columns[0].field >= 0 && profile.KeyIsRowNumber(database, record.TableName)) {
        columns[0].form = KeyForm::RowidAlias;
    }
    const bool driverTextLossy = database.CodePages.driver != platform::CodePage::Utf8;
    for (uint32_t field = 0; field < count; ++field) {
        bool key = false;
        for (const FormColumn& column : columns) key = key || column.field == static_cast<int32_t>(field);
        const KeyForm form = profile.CompareFormFor(typeOf(field), driverTextLossy);
        if (key || form == KeyForm::Text) continue;
        columns.push_back({BracketName(record.FieldNameList[field].c_str(), database.QuoteChar), form,
                           static_cast<int32_t>(field), false});
    }
    return std::make_unique<KeyRowWriter>(record, traits, std::move(columns));
}

KeyRowWriter::KeyRowWriter(CMyRec& record, const KeyWriteTraits& traits, std::vector<FormColumn> columns)
    : record_(record), traits_(traits), columns_(std::move(columns)) {
    for (const FormColumn& column : columns_) {
        if (column.key) keyNames_.push_back(column.name);
    }
}

SQLUSMALLINT KeyRowWriter::AppendFormItems(CText& sql, SQLUSMALLINT firstColumn) {
    for (FormColumn& column : columns_) {
        column.resultColumn = 0;
        if (column.field >= 0 && ReadFromListedColumn(column.form)) continue;
        sql.Append(KeyFormExpression(column.form, column.name));
        sql.Append(",");
        column.resultColumn = firstColumn++;
    }
    return firstColumn;
}

std::vector<std::pair<SQLUSMALLINT, KeyForm>> KeyRowWriter::FormItems() const {
    std::vector<std::pair<SQLUSMALLINT, KeyForm>> items;
    for (const FormColumn& column : columns_) {
        if (column.resultColumn != 0) items.emplace_back(column.resultColumn, column.form);
    }
    return items;
}

void KeyRowWriter::ShowIfWritten() {
    if (record_.CurrentRecord < 0) return;
    const auto row = written_.find(record_.CurrentRecord);
    if (row != written_.end()) Show(row->second);
}

std::vector<std::optional<std::string>> KeyRowWriter::TextsAsRead() const {
    const uint32_t count = record_.ListedCount();
    std::vector<std::optional<std::string>> texts(count);
    const bool converts = record_.Database->CodePages.Converts();
    for (uint32_t i = 0; i < count; ++i) {
        const ColumnRecord& column = record_.ColumnRecords[i];
        // While a write is composed the member may hold the new value, and
        // its saved copy the one read.
        const bool editing = record_.EditMode != NotEditing && column.Saved.Text != nullptr;
        const bool isNull =
            editing ? (column.SavedStatus & FieldNull) != 0 : (record_.ColumnStatus[i] & FieldNull) != 0;
        if (isNull) continue;
        if (converts && column.DriverText) {
            texts[i].emplace(column.DriverText->c_str(), column.DriverText->Length());
        } else {
            const CText& text = editing ? *column.Saved.Text : record_.Values[i];
            texts[i].emplace(text.c_str(), text.Length());
        }
    }
    return texts;
}

const std::vector<KeyValue>& KeyRowWriter::CurrentForms() {
    if (currentRead_) return current_;
    current_.assign(columns_.size(), KeyValue{});
    const std::vector<std::optional<std::string>> texts = TextsAsRead();
    for (size_t k = 0; k < columns_.size(); ++k) {
        const FormColumn& column = columns_[k];
        KeyValue& value = current_[k];
        if (column.resultColumn == 0) {
            const std::optional<std::string>& text = texts[static_cast<size_t>(column.field)];
            value.IsNull = !text.has_value();
            if (!value.IsNull) value.Form = *text;
            if (!value.IsNull && !ParseKeyForm(column.form, value)) record_.ThrowError(SQL_ERROR);
            continue;
        }
        const SQLRETURN rc = record_.ReadFormColumn(column.resultColumn, column.form, value);
        if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc);
    }
    currentRead_ = true;
    return current_;
}

std::vector<KeyValue> KeyRowWriter::KeyOf(const std::vector<KeyValue>& forms) const {
    std::vector<KeyValue> key;
    for (size_t k = 0; k < columns_.size(); ++k) {
        if (columns_[k].key) key.push_back(forms[k]);
    }
    return key;
}

CText KeyRowWriter::RowSelect(SQLHSTMT statement, std::vector<KeyValue>& key, const char* lock) {
    // The record's own statement, "SELECT ... FROM t WHERE <filter>", with
    // the key in place of the filter: the values come as the cursor read them.
    const CText& select = record_.SqlStatement;
    const CText& filter = record_.Filter;
    const size_t head = select.Length() - filter.Length();
    if (select.Length() < filter.Length() || CText(select.c_str() + head) != filter) record_.ThrowError(SQL_ERROR);
    CText condition;
    const SQLRETURN rc = AppendKeyCondition(condition, statement, 1, keyNames_, key);
    if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
    record_.Database->ConvertBrackets(condition.Buffer());
    condition.SyncLength();
    CText sql(select.c_str(), head);
    sql.Append(condition.c_str() + 1);
    sql.Append(lock);
    return sql;
}

bool KeyRowWriter::ReadRow(SQLHSTMT statement, StoredRow& row) const {
    const uint32_t count = record_.ListedCount();
    row.texts.assign(count, std::nullopt);
    row.forms.assign(columns_.size(), KeyValue{});
    std::string text;
    bool isNull = false;
    for (uint32_t i = 0; i < count; ++i) {
        if (!SQL_SUCCEEDED(ReadWholeText(statement, static_cast<SQLUSMALLINT>(i + 1), text, isNull))) return false;
        if (!isNull) row.texts[i] = text;
    }
    for (size_t k = 0; k < columns_.size(); ++k) {
        const FormColumn& column = columns_[k];
        KeyValue& value = row.forms[k];
        if (column.resultColumn != 0) {
            if (!SQL_SUCCEEDED(ReadKeyValue(statement, column.resultColumn, column.form, value))) return false;
            continue;
        }
        const std::optional<std::string>& listed = row.texts[static_cast<size_t>(column.field)];
        value.IsNull = !listed.has_value();
        if (!value.IsNull) value.Form = *listed;
        if (!value.IsNull && !ParseKeyForm(column.form, value)) return false;
    }
    return true;
}

bool KeyRowWriter::MatchesRowAsRead(const StoredRow& now) const {
    std::vector<bool> comparedByForm(now.texts.size(), false);
    for (size_t k = 0; k < columns_.size(); ++k) {
        const FormColumn& column = columns_[k];
        if (column.resultColumn == 0) continue;  // its text is compared below
        if (column.field >= 0) comparedByForm[static_cast<size_t>(column.field)] = true;
        if (now.forms[k].IsNull != current_[k].IsNull || now.forms[k].Form != current_[k].Form) return false;
    }
    for (size_t i = 0; i < now.texts.size(); ++i) {
        if (!comparedByForm[i] && now.texts[i] != asRead_[i]) return false;
    }
    return true;
}

void KeyRowWriter::CheckRowAsRead(SQLHSTMT statement) {
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_RESET_PARAMS);
    const CText sql = RowSelect(statement, rowKey_, traits_.lockRow);
    SQLRETURN rc = PrepareAndExecute(*record_.Database, statement, sql);
    if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
    SQLLEN rows = 0;
    bool same = true;
    StoredRow now;
    while ((rc = RepeatWhileExecuting([&] { return SQLFetch(statement); })) != SQL_NO_DATA) {
        if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
        if (++rows == 1) same = ReadRow(statement, now) && MatchesRowAsRead(now);
    }
    if (rows > 1) ThrowTooManyRowsChanged(rows);
    // Gone, or changed since it was read.
    if (rows == 0 || !same) record_.ThrowError(ErrorRowStatus);
}

void KeyRowWriter::Write(CRecordset&) {
    CMyRec& r = record_;
    if (r.EditMode == Adding) {
        try {
            r.PrepareUpdateStatement();
            WriteTransaction transaction(r, r.UpdateStatement, traits_.begin);
            r.PrepareUpdateStatement();
            r.BuildUpdateSql();
            ExecuteWrite();
            transaction.Commit();
        } catch (...) {
            DropUpdateStatement(r);
            throw;
        }
        return;
    }
    rowKey_ = KeyOf(CurrentForms());
    // A NULL names no row (SQLite allows NULL in a key that is not the rowid).
    for (const KeyValue& value : rowKey_) {
        if (value.IsNull) ThrowLibraryMessage(MessageNullKey);
    }
    asRead_ = TextsAsRead();
    keyAfterWrite_.clear();
    try {
        r.PrepareUpdateStatement();
        WriteTransaction transaction(r, r.UpdateStatement, traits_.begin);
        CheckRowAsRead(r.UpdateStatement);
        r.PrepareUpdateStatement();
        r.BuildUpdateSql();
        if (r.EditMode == Editing && r.UpdateSql.Length() > 7) {
            CText sql(traits_.update);
            sql.Append(r.UpdateSql.c_str() + 7);  // after "UPDATE "
            r.UpdateSql = sql;
        }
        ExecuteWrite();
        if (r.EditMode == Editing) FindKeyAfterWrite(r.UpdateStatement);
        transaction.Commit();
        // Shown as stored once read again (ReadBack).
        written_.erase(r.CurrentRecord);
    } catch (...) {
        RestoreDriverTexts(asRead_);
        DropUpdateStatement(r);
        throw;
    }
    if (r.EditMode == NotEditing) currentRead_ = false;
}

void KeyRowWriter::AppendRowCondition(CRecordset&, uint32_t markers) {
    CMyRec& r = record_;
    r.UpdateSql.Append(" WHERE");
    const SQLRETURN rc =
        AppendKeyCondition(r.UpdateSql, r.UpdateStatement, static_cast<SQLUSMALLINT>(markers + 1), keyNames_, rowKey_);
    if (!SQL_SUCCEEDED(rc)) r.ThrowError(rc, r.UpdateStatement);
    if (traits_.returnsKey && r.EditMode == Editing) {
        for (size_t k = 0; k < keyNames_.size(); ++k) {
            r.UpdateSql.Append(k == 0 ? " RETURNING " : ",");
            r.UpdateSql.Append(keyNames_[k]);
        }
    }
}

void KeyRowWriter::ExecuteWrite() {
    CMyRec& r = record_;
    CText converted;
    const CText& sent = r.Database->CodePages.ForDriver(r.UpdateSql, converted);
    const SQLRETURN rc = RepeatWhileExecuting([&] { return SQLExecDirect(r.UpdateStatement, SqlText(sent), SQL_NTS); });
    if (!SQL_SUCCEEDED(rc)) r.ThrowError(rc, r.UpdateStatement);
    if (rc == SQL_SUCCESS_WITH_INFO) {
        // A value the data source did not store as given: its own words.
        auto* warning = new CDBException(SQL_ERROR);
        warning->BuildErrorText(r.Database, r.UpdateStatement);
        if (traits_.warningRefuses || warning->HasState("01004") || warning->HasState("22001")) throw warning;
        warning->Delete();
    }
    SQLLEN count = 0;
    if (SQL_SUCCEEDED(SQLRowCount(r.UpdateStatement, &count)) && count != -1) {
        if (count > 1) ThrowTooManyRowsChanged(count);
        // The row was found and locked: where the count is of rows changed,
        // 0 is a row that held the values already.
        if (count == 0 && !(traits_.countsChangedRowsOnly && r.EditMode == Editing)) r.ThrowError(ErrorRowStatus);
    }
    r.UpdateSql.Clear();
}

void KeyRowWriter::FindKeyAfterWrite(SQLHSTMT statement) {
    CMyRec& r = record_;
    std::vector<size_t> keyColumns;
    for (size_t k = 0; k < columns_.size(); ++k) {
        if (columns_[k].key) keyColumns.push_back(k);
    }
    std::vector<KeyValue> found(keyColumns.size());
    if (traits_.returnsKey) {
        // The UPDATE's RETURNING: the key as stored, whatever changed it.
        if (!SQL_SUCCEEDED(RepeatWhileExecuting([&] { return SQLFetch(statement); }))) return;
        for (size_t k = 0; k < keyColumns.size(); ++k) {
            const FormColumn& column = columns_[keyColumns[k]];
            if (!SQL_SUCCEEDED(ReadKeyValue(statement, static_cast<SQLUSMALLINT>(k + 1), column.form, found[k])))
                return;
        }
        keyAfterWrite_ = std::move(found);
        return;
    }
    // The written key fields as the UPDATE assigned them: the comparison
    // converts the text the same way (SQLite's '01' into an INTEGER key is 1).
    std::vector<KeyValue> key = rowKey_;
    bool keyWritten = false;
    for (size_t k = 0; k < keyColumns.size(); ++k) {
        const int32_t field = columns_[keyColumns[k]].field;
        if (!(r.ColumnStatus[field] & FieldChanged)) continue;
        keyWritten = true;
        const CText& value = r.Values[field];
        if (value.IsEmpty()) return;  // NULL names no row
        CText converted;
        const CText& sent = r.Database->CodePages.ForDriver(value, converted);
        key[k] = KeyValue{};
        key[k].Bytes.assign(sent.c_str(), sent.Length());
        key[k].Indicator = static_cast<SQLLEN>(key[k].Bytes.size());
        key[k].Comparison = TextComparison(columns_[keyColumns[k]].form);
    }
    if (!keyWritten) {
        keyAfterWrite_ = rowKey_;
        return;
    }
    CText sql("SELECT ");
    for (size_t k = 0; k < keyColumns.size(); ++k) {
        const FormColumn& column = columns_[keyColumns[k]];
        sql.Append(KeyFormExpression(column.form, column.name));
        sql.Append(k + 1 < keyColumns.size() ? "," : " FROM ");
    }
    sql.Append(r.SourceTable);
    sql.Append(" WHERE");
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_RESET_PARAMS);
    if (!SQL_SUCCEEDED(AppendKeyCondition(sql, statement, 1, keyNames_, key))) return;
    r.Database->ConvertBrackets(sql.Buffer());
    sql.SyncLength();
    CText converted;
    const CText& text = r.Database->CodePages.ForDriver(sql, converted);
    const SQLRETURN rc = RepeatWhileExecuting([&] { return SQLExecDirect(statement, SqlText(text), SQL_NTS); });
    // Only a row found alone is the row written.
    if (!SQL_SUCCEEDED(rc) || !SQL_SUCCEEDED(RepeatWhileExecuting([&] { return SQLFetch(statement); }))) return;
    for (size_t k = 0; k < keyColumns.size(); ++k) {
        const FormColumn& column = columns_[keyColumns[k]];
        if (!SQL_SUCCEEDED(ReadKeyValue(statement, static_cast<SQLUSMALLINT>(k + 1), column.form, found[k]))) return;
    }
    if (RepeatWhileExecuting([&] { return SQLFetch(statement); }) != SQL_NO_DATA) return;
    keyAfterWrite_ = std::move(found);
}

void KeyRowWriter::ReadBack(CRecordset&) {
    CMyRec& r = record_;
    if (keyAfterWrite_.empty()) ThrowLibraryMessage(MessageRowNotFoundByKey);
    r.PrepareUpdateStatement();
    const SQLHSTMT statement = r.UpdateStatement;
    const CText sql = RowSelect(statement, keyAfterWrite_, "");
    SQLRETURN rc = PrepareAndExecute(*r.Database, statement, sql);
    if (!SQL_SUCCEEDED(rc)) r.ThrowError(rc, statement);
    rc = RepeatWhileExecuting([&] { return SQLFetch(statement); });
    if (rc == SQL_NO_DATA) ThrowLibraryMessage(MessageRowNotFoundByKey);
    if (!SQL_SUCCEEDED(rc)) r.ThrowError(rc, statement);
    StoredRow row;
    if (!ReadRow(statement, row)) r.ThrowError(SQL_ERROR, statement);
    // The library's own cursor reads the row again by its key as it is now.
    if (r.Keyset != nullptr) r.Keyset->RenameCurrentRow(statement, row.texts);
    SQLFreeStmt(statement, SQL_CLOSE);
    Show(row);
    if (r.CurrentRecord >= 0) written_[r.CurrentRecord] = std::move(row);
}

void KeyRowWriter::Show(const StoredRow& row) {
    CMyRec& r = record_;
    const bool converts = r.Database->CodePages.Converts();
    for (size_t i = 0; i < row.texts.size(); ++i) {
        ColumnRecord& column = r.ColumnRecords[i];
        if (!row.texts[i]) {
            r.Values[i].Clear();
            r.ColumnStatus[i] |= FieldNull;
            column.Indicator = SQL_NULL_DATA;
            continue;
        }
        const std::string& text = *row.texts[i];
        CText host;
        if (converts) {
            if (!r.Database->CodePages.ToHost(text.data(), text.size(), host, kValueBytes)) {
                r.ThrowError(ErrorDataTruncated);
            }
            if (column.DriverText) {
                if (text.size() > column.DriverText->Capacity()) r.ThrowError(ErrorDataTruncated);
                column.DriverText->Assign(text.data(), text.size());
            }
        } else {
            host.Assign(text.data(), text.size());
        }
        if (host.Length() > kValueBytes) r.ThrowError(ErrorDataTruncated);
        r.Values[i] = host;
        r.ColumnStatus[i] &= static_cast<uint8_t>(~FieldNull);
        column.Indicator = static_cast<SQLLEN>(host.Length());
    }
    current_ = row.forms;
    currentRead_ = true;
}

void KeyRowWriter::RestoreDriverTexts(const std::vector<std::optional<std::string>>& texts) {
    if (!record_.Database->CodePages.Converts()) return;
    for (size_t i = 0; i < texts.size(); ++i) {
        CText* driverText = record_.ColumnRecords[i].DriverText.get();
        if (driverText != nullptr && texts[i]) driverText->Assign(texts[i]->data(), texts[i]->size());
    }
}

}  // namespace vordex
