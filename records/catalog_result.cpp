#include "records/catalog_result.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CCatalogResult, CRecordset)

CCatalogResult::CCatalogResult(CDatabase* connection, uint32_t fieldCount) : CRecordset(connection) {
    FieldCount = fieldCount;
}

CText CCatalogResult::DefaultConnect() { return CText("ODBC;"); }

CText CCatalogResult::DefaultSQL() { return CText("!"); }

void CCatalogResult::ExchangeTableNames(CFieldXfer& xfer) {
    xfer.fieldKind = kOutputColumns;
    XferText(xfer, "table_qualifier", TableQualifier);
    XferText(xfer, "table_owner", TableOwner);
    XferText(xfer, "table_name", TableName);
}

}  // namespace vordex
