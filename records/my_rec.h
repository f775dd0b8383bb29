#pragma once

#include "db/recordset.h"

namespace vordex {

/// One user table whose columns are known only at run time: the columns named
/// in FieldNameList, every one bound as text of up to 255 bytes. Its
/// statement reads every row ("WHERE 1=1", see the constructor).
class CMyRec : public CRecordset {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    static constexpr int kValueCount = 32;

    explicit CMyRec(CDatabase* connection);
    ~CMyRec() override;

    CText DefaultConnect() override;
    /// The bracketed table name, qualified by its owner where the data source
    /// allows that in data statements (kept in QuotedName).
    CText DefaultSQL() override;
    /// Lists the first min(FieldCount, 32) names of FieldNameList. Where the
    /// names go into SQL text they are bracketed, so that each means exactly
    /// that column.
    void ExchangeFields(CFieldXfer& xfer) override;
    /// Asks for a static cursor in place of a keyset-driven one when the
    /// driver reads results in blocks, then sets the options as any record.
    void SetStatementOptions(SQLHSTMT statement) override;
    /// The fix-up pass of ExchangeFields in one loop over the text members.
    void FixUpFetchedRow() override;

    /// The statement source that DefaultSQL built last.
    CText QuotedName;
    /// The current row; entry i belongs to column i of the field list.
    CText Values[kValueCount];
    /// The table to read; set before Open.
    CText TableName;
    /// The table's owner (schema) as the catalog listed it; empty for none.
    CText TableOwner;
    /// The column names (32 entries, not owned); set before Open.
    const CText* FieldNameList = nullptr;
};

}  // namespace vordex
