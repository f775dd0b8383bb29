#include "records/my_rec.h"

#include "platform/odbc_headers.h"

#include <algorithm>

#include "db/bracket_name.h"
#include "db/database.h"
#include "db/db_exception.h"
#include "db/field_xfer.h"
#include "records/cursor_choice.h"
#include "records/row_key.h"

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

void CMyRec::SetStatementOptions(SQLHSTMT statement) {
    ChooseStaticCursorWhereBetter(*this);
    CRecordset::SetStatementOptions(statement);
    KeyFields.clear();
    if (!UpdateAllowed || FieldNameList == nullptr || !SetPosRewritesEveryColumn(*Database)) return;
    KeyFields = PrimaryKeyFields(*Database, TableOwner, TableName, FieldNameList,
                                 std::min<uint32_t>(FieldCount, kValueCount));
    if (KeyFields.empty()) {
        UpdateAllowed = 0;
        AppendAllowed = 0;
    } else {
        UpdateBySql = 1;
    }
}

void CMyRec::ShowStoredRow() {
    if (!Scrollable) return;
    if (!UpdateBySql) {
        Move(0, SQL_FETCH_RELATIVE);
        return;
    }
    if (KeyFields.empty() || CurrentRecord < 0) return;
    const int32_t row = CurrentRecord;
    std::vector<CText> key;
    for (uint32_t field : KeyFields) key.push_back(Values[field]);
    Refresh();
    Move(row + 1, SQL_FETCH_ABSOLUTE);
    // A new key can move the row (SQLite keeps a table's rows in key
    // order): the row shown, and written next, is the one with that key.
    // Where the data source stored the key in another form, no row shows.
    for (bool first = true; HasCurrentRow() && !HoldsKey(key); first = false) {
        Move(1, first ? SQL_FETCH_FIRST : SQL_FETCH_NEXT);
    }
}

bool CMyRec::HoldsKey(const std::vector<CText>& key) const {
    for (size_t i = 0; i < KeyFields.size(); ++i) {
        if (Values[KeyFields[i]] != key[i]) return false;
    }
    return true;
}

void CMyRec::AppendRowCondition(uint32_t markers) {
    if (KeyFields.empty()) {
        CRecordset::AppendRowCondition(markers);
        return;
    }
    const char* separator = " WHERE ";
    for (size_t i = 0; i < KeyFields.size(); ++i) {
        const uint32_t field = KeyFields[i];
        // The key as read: the saved copy, which an edit of the key leaves alone.
        const ColumnRecord& record = ColumnRecords[field];
        if ((record.SavedStatus & FieldNull) || record.Saved.Text == nullptr) ThrowError(ErrorNoRowChanged);
        UpdateSql.Append(separator);
        UpdateSql.Append(BracketName(FieldNameList[field].c_str(), Database->QuoteChar));
        UpdateSql.Append("=?");
        separator = " AND ";
        KeyIndicators[i] = SQL_NTS;
        const CText& sent = Database->CodePages.ForDriver(*record.Saved.Text, KeyValues[i]);
        const SQLRETURN rc = SQLBindParameter(UpdateStatement, static_cast<SQLUSMALLINT>(markers + 1 + i),
                                              SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, std::max<size_t>(sent.Length(), 255),
                                              0, const_cast<char*>(sent.c_str()), 0, &KeyIndicators[i]);
        if (!Succeeded(rc)) ThrowError(rc, UpdateStatement);
    }
}

void CMyRec::FixUpFetchedRow() {
    if (FieldNameList == nullptr) return;
    CFieldXfer xfer(OpFixUpFetched, *this);
    xfer.fieldKind = kOutputColumns;
    FixUpFetchedTexts(xfer, Values, std::min<uint32_t>(FieldCount, kValueCount));
}

void CMyRec::ExchangeFields(CFieldXfer& xfer) {
    xfer.fieldKind = kOutputColumns;
    if (FieldNameList == nullptr) return;
    const uint32_t count = std::min<uint32_t>(FieldCount, kValueCount);
    // Only the passes that write names into statements need them quoted; the
    // per-row passes take the names as they are and allocate nothing.
    if (xfer.operation == OpAppendNames || xfer.operation == OpAppendAssignments) {
        const char quoteChar = Database != nullptr ? Database->QuoteChar : ' ';
        for (uint32_t i = 0; i < count; ++i) {
            const CText quoted = BracketName(FieldNameList[i].c_str(), quoteChar);
            XferText(xfer, quoted.c_str(), Values[i], 255, SQL_VARCHAR, 0);
        }
        return;
    }
    for (uint32_t i = 0; i < count; ++i) XferText(xfer, FieldNameList[i].c_str(), Values[i], 255, SQL_VARCHAR, 0);
}

}  // namespace vordex
