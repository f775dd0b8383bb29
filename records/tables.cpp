#include "records/tables.h"

#include "records/catalog_open.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CTables, CCatalogResult)

CTables::CTables(CDatabase* connection) : CCatalogResult(connection, 5) {}

CTables::~CTables() = default;

// Where tables have no owner and a catalog is a database (MariaDB), a
// listing that names no catalog holds every database of the server, the
// system's own first: it stays in the connection's database instead.
bool CTables::Open(uint32_t openType, const char*, uint32_t) {
    return OpenCatalogResult(*this, openType, OptNoChangeCheck, [this](SQLHSTMT statement) {
        CText qualifier = QualifierParam;
        if (qualifier.IsEmpty() && !(Database->OwnerUsage & SQL_OU_DML_STATEMENTS)) {
            qualifier = Database->CurrentCatalog();
        }
        CText sent[4];
        return SQLTables(statement, CatalogArgument(*Database, qualifier, sent[0]), SQL_NTS,
                         CatalogArgument(*Database, OwnerParam, sent[1]), SQL_NTS,
                         CatalogArgument(*Database, TableNameParam, sent[2]), SQL_NTS,
                         CatalogArgument(*Database, TableTypeParam, sent[3]), SQL_NTS);
    });
}

void CTables::ExchangeFields(CFieldXfer& xfer) {
    ExchangeTableNames(xfer);
    XferText(xfer, "table_type", TableType);
    XferText(xfer, "remarks", Remarks);
}

}  // namespace vordex
