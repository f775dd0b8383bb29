#include "records/my_rec.h"

#include "platform/odbc_headers.h"

#include <algorithm>

#include "db/bracket_name.h"
#include "db/database.h"
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
    ChooseStaticCursorWithPsqlOdbc(*this);
    CRecordset::SetStatementOptions(statement);
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
