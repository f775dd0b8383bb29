#pragma once

#include <cstdint>

#include "db/recordset.h"

namespace vordex {

/// A result set that an ODBC catalog function lists in place of a statement
/// (SQLTables, SQLColumns): each row begins with the qualifier, owner and
/// name of a table, and the parameter members narrow the listing.
class CCatalogResult : public CRecordset {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    CText DefaultConnect() override;
    CText DefaultSQL() override;

    CText TableQualifier;
    CText TableOwner;
    CText TableName;

    CText QualifierParam;
    CText OwnerParam;
    CText TableNameParam;

protected:
    /// A result set whose rows have `fieldCount` output columns.
    CCatalogResult(CDatabase* connection, uint32_t fieldCount);
    /// Lists the first three output columns, the table's names: the start
    /// of every ExchangeFields.
    void ExchangeTableNames(CFieldXfer& xfer);
};

}  // namespace vordex
