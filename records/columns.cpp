#include "records/columns.h"

#include "records/catalog_open.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CColumns, CRecordset)

CColumns::CColumns(CDatabase* connection) : CRecordset(connection) { FieldCount = 11; }

CColumns::~CColumns() = default;

bool CColumns::Open(uint32_t openType, const char*, uint32_t options) {
    return OpenCatalogResult(*this, openType, options | OptNoChangeCheck, [this](SQLHSTMT statement) {
        return SQLColumns(statement, CatalogArgument(QualifierParam), SQL_NTS, CatalogArgument(OwnerParam), SQL_NTS,
                          CatalogArgument(TableNameParam), SQL_NTS, nullptr, SQL_NTS);
    });
}

CText CColumns::DefaultConnect() { return CText("ODBC;"); }

CText CColumns::DefaultSQL() { return CText("!"); }

void CColumns::ExchangeFields(CFieldXfer& xfer) {
    xfer.fieldKind = kOutputColumns;
    XferText(xfer, "table_qualifier", TableQualifier);
    XferText(xfer, "table_owner", TableOwner);
    XferText(xfer, "table_name", TableName);
    XferText(xfer, "column_name", ColumnName);
    XferInt(xfer, "data_type", DataType);
    XferText(xfer, "type_name", TypeName);
    XferLong(xfer, "precision", Precision);
    XferLong(xfer, "length", Length);
    XferInt(xfer, "scale", Scale);
    XferInt(xfer, "radix", Radix);
    XferInt(xfer, "nullable", Nullable);
}

}  // namespace vordex
