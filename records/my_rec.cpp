#include "records/my_rec.h"

#include <algorithm>

#include "db/bracket_name.h"
#include "db/database.h"
#include "db/db_exception.h"
#include "db/field_xfer.h"
#include "db/library_messages.h"
#include "db/sql_types.h"
#include "platform/odbc_headers.h"
#include "records/cursor_choice.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CMyRec, CRecordset)

CMyRec::CMyRec(CDatabase* connection) : CRecordset(connection) {
    DefaultOpenType = KeysetCursor;
    // psqlODBC's keyset-driven cursor reads two bytes past its own copy of a
    // statement without a WHERE clause (valgrind and AddressSanitizer see it
    // in SQLExecute). A condition that always holds gives it one and selects
    // the same rows.
    Filter = "1=1";
}

CMyRec::~CMyRec() = default;

// Names no data source: the data-source choice asks for one.
CText CMyRec::DefaultConnect() { return CText("ODBC;DSN="); }

void CMyRec::Close() {
    KeyWriter = nullptr;  // Close drops the writer and the source
    Keyset = nullptr;
    CRecordset::Close();
}

CText CMyRec::DefaultSQL() {
    const char quoteChar = Database != nullptr ? Database->QuoteChar : ' ';
    // Without the owner the server's search path would pick the table, which
    // may be another schema's table of the same name.
    const bool qualify = !TableOwner.IsEmpty() && Database != nullptr && (Database->OwnerUsage & SQL_OU_DML_STATEMENTS);
    QuotedName.Clear();
    if (qualify) {
        QuotedName = BracketName(TableOwner.c_str(), quoteChar);
        QuotedName.Append(".");
    }
    QuotedName.Append(BracketName(TableName.c_str(), quoteChar));
    return QuotedName;
}

void CMyRec::KeepListedColumns() {
    const uint32_t count = ListedCount();
    if (FieldNameList != nullptr && FieldNameList != OpenedNames) {
        for (uint32_t i = 0; i < count; ++i) OpenedNames[i] = FieldNameList[i];
        FieldNameList = OpenedNames;
    }
    if (FieldTypeList != nullptr && FieldTypeList != OpenedTypes) {
        std::copy(FieldTypeList, FieldTypeList + count, OpenedTypes);
        FieldTypeList = OpenedTypes;
    }
}

void CMyRec::SetStatementOptions(SQLHSTMT statement) {
    KeepListedColumns();
    ChooseStaticCursorWhereBetter(*this);
    CRecordset::SetStatementOptions(statement);
    KeyWriter = nullptr;
    Keyset = nullptr;
    ReadOnlyMessage = 0;
    if (Database->Profile().KeyWrites() == nullptr) return;
    // Nothing is written through this cursor.
    if (Concurrency != SQL_CONCUR_READ_ONLY) {
        Concurrency = SQL_CONCUR_READ_ONLY;
        const SQLRETURN rc = SQLSetStmtOption(statement, SQL_CONCURRENCY, Concurrency);
        if (!Succeeded(rc)) ThrowError(rc);
        ConcurrencySubstituted = 0;
    }
    // A data source opened read-only (psqlODBC's ReadOnly=1) takes no writes.
    if (UpdateAllowed && !Database->Updatable) ReadOnlyMessage = MessageServerReadOnly;
    // Without listed columns nothing is read (the open fails with them), and
    // the table's name may be none the catalog took. The writer knows the
    // key, which the keyset reads by also where nothing may be written (a
    // hot standby, a record opened read-only).
    std::unique_ptr<KeyRowWriter> writer;
    if (FieldNameList != nullptr && ListedCount() > 0) writer = KeyRowWriter::For(*this);
    WritesByKey = writer != nullptr && UpdateAllowed && ReadOnlyMessage == 0;
    if (writer) {
        KeyWriter = writer.get();
        Writer = std::move(writer);
        UpdateBySql = 1;
    }
    if (!WritesByKey) {
        UpdateAllowed = 0;
        AppendAllowed = 0;
    }
    // Rows a key names are read by the library's own keyset cursor; the
    // record's statement then selects none, only what they hold.
    if (std::unique_ptr<OwnKeysetCursor> keyset = OwnKeysetCursor::For(*this)) {
        Keyset = keyset.get();
        Source = std::move(keyset);
        Filter = "1=0";
    }
}

void CMyRec::BeforeFirstFetch() {
    // Executing a read-only cursor may say so; the record is written by key.
    if (WritesByKey) UpdateAllowed = 1;
    if (Keyset != nullptr) Keyset->Start(static_cast<uint32_t>(ResultColumnCount));
}

CText CMyRec::ReadExpression(uint32_t field) const {
    const CText name = BracketName(FieldNameList[field].c_str(), Database->QuoteChar);
    if (IsHexBinaryField(field)) {
        CText expression("lower(hex(");
        expression.Append(name);
        expression.Append("))");
        return expression;
    }
    if (IsBitField(field)) return KeyFormExpression(KeyForm::BitNumber, name);
    return name;
}

SQLRETURN CMyRec::ReadFormColumn(SQLUSMALLINT column, KeyForm form, KeyValue& value) {
    if (Keyset != nullptr) return Keyset->ReadForm(column, form, value);
    return ReadKeyValue(StatementHandle, column, form, value);
}

uint32_t CMyRec::ListedCount() const { return std::min<uint32_t>(FieldCount, kValueCount); }

bool CMyRec::IsHexBinaryField(uint32_t field) const {
    return Database != nullptr && Database->Profile().ReadsBinaryAsHex() && FieldTypeList != nullptr &&
           IsBinarySqlType(FieldTypeList[field]);
}

bool CMyRec::IsBitField(uint32_t field) const {
    return Database != nullptr && Database->Profile().ReadsBitsAsNumber() && FieldTypeList != nullptr &&
           FieldTypeList[field] == SQL_BIT;
}

uint32_t CMyRec::AppendSelectList(CText& sql) {
    // A driver written through its cursor reads the listed names as they are.
    if (Database->Profile().KeyWrites() == nullptr || FieldNameList == nullptr) {
        return CRecordset::AppendSelectList(sql);
    }
    const uint32_t count = ListedCount();
    for (uint32_t i = 0; i < count; ++i) {
        sql.Append(ReadExpression(i));
        sql.Append(",");
    }
    // Read only when a row is written, with SQLGetData.
    auto next = static_cast<SQLUSMALLINT>(count + 1);
    if (KeyWriter != nullptr) next = KeyWriter->AppendFormItems(sql, next);
    if (Keyset != nullptr) Keyset->AppendOrderItems(sql, next);
    return count;
}

void CMyRec::FixUpFetchedRow() {
    if (FieldNameList == nullptr) return;
    CFieldXfer xfer(OpFixUpFetched, *this);
    xfer.fieldKind = kOutputColumns;
    FixUpFetchedTexts(xfer, Values, std::min<uint32_t>(FieldCount, kValueCount));
    if (KeyWriter != nullptr) KeyWriter->AfterFetch();
}

void CMyRec::ExchangeFields(CFieldXfer& xfer) {
    xfer.fieldKind = kOutputColumns;
    if (FieldNameList == nullptr) return;
    const uint32_t count = ListedCount();
    // Only the passes that write names into statements need them quoted; the
    // per-row passes take the names as they are and allocate nothing.
    const bool quoted = xfer.operation == OpAppendNames || xfer.operation == OpAppendAssignments;
    const char quoteChar = Database != nullptr ? Database->QuoteChar : ' ';
    for (uint32_t i = 0; i < count; ++i) {
        const CText bracketed = quoted ? BracketName(FieldNameList[i].c_str(), quoteChar) : CText();
        const char* name = quoted ? bracketed.c_str() : FieldNameList[i].c_str();
        if (IsHexBinaryField(i)) {
            XferHexBinary(xfer, name, Values[i], BinaryBytes[i], 255);
        } else if (IsBitField(i)) {
            // Text sent to a BIT column is stored as its bytes: '5' as 0x35.
            xfer.valueMarker = "CAST(? AS UNSIGNED)";
            XferText(xfer, name, Values[i], 255, SQL_VARCHAR, 0);
            xfer.valueMarker = nullptr;
        } else {
            XferText(xfer, name, Values[i], 255, SQL_VARCHAR, 0);
        }
    }
}

}  // namespace vordex
