#include "records/my_rec.h"

#include <algorithm>

#include "db/bracket_name.h"
#include "db/database.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CMyRec, CRecordset)

CMyRec::CMyRec(CDatabase* connection) : CRecordset(connection) { DefaultOpenType = KeysetCursor; }

CMyRec::~CMyRec() = default;

// Names no data source: the data-source choice asks for one.
CText CMyRec::DefaultConnect() { return CText("ODBC;DSN="); }

CText CMyRec::DefaultSQL() {
    QuotedName = BracketName(TableName.c_str(), Database != nullptr ? Database->QuoteChar : ' ');
    return QuotedName;
}

void CMyRec::ExchangeFields(CFieldXfer& xfer) {
    xfer.fieldKind = kOutputColumns;
    if (FieldNameList == nullptr) return;
    const uint32_t count = std::min<uint32_t>(FieldCount, kValueCount);
    for (uint32_t i = 0; i < count; ++i) XferText(xfer, FieldNameList[i].c_str(), Values[i], 255, SQL_VARCHAR, 0);
}

}  // namespace vordex
