#pragma once

#include <vector>

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
    /// Asks for a static cursor in place of a keyset-driven one where that
    /// is better, then sets the options as any record. Through a driver
    /// whose SQLSetPos rewrites every column, rows are written with UPDATE
    /// statements found by the primary key (KeyFields), and a table without
    /// one is read-only.
    void SetStatementOptions(SQLHSTMT statement) override;
    /// " WHERE <key>=? AND ..." with the key values as read, when KeyFields
    /// are known; else the positioned condition.
    void AppendRowCondition(uint32_t markers) override;
    /// After a write of the current row, fetches it as the data source
    /// stored it: through the cursor where the write went through it
    /// (psqlODBC reads the row back), else by running the statement again
    /// and moving back to the row's number, since the SQLite driver's cursor
    /// keeps the rows as it first read them; and, when the key was written,
    /// on to the row that holds the new key. A positioned UPDATE leaves a
    /// static cursor's copy as it was: the values written stay shown.
    void ShowStoredRow();
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
    /// Field-list positions of the primary key that writes name rows by;
    /// empty when rows are written through the cursor.
    std::vector<uint32_t> KeyFields;

private:
    /// True when the current row's key fields hold `key`.
    bool HoldsKey(const std::vector<CText>& key) const;

    /// Indicators of the key parameters, and their values where the
    /// connection converts: bound, so they stay put.
    SQLLEN KeyIndicators[kValueCount] = {};
    CText KeyValues[kValueCount];
};

}  // namespace vordex
