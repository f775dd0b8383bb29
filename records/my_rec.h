#pragma once

#include <vector>

#include "db/recordset.h"
#include "records/key_row_writer.h"
#include "records/own_keyset_cursor.h"
#include "records/row_key.h"

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
    void Close() override;
    /// The bracketed table name, qualified by its owner where the data source
    /// allows that in data statements (kept in QuotedName).
    CText DefaultSQL() override;
    /// Lists the first min(FieldCount, 32) names of FieldNameList. Where the
    /// names go into SQL text they are bracketed, so that each means exactly
    /// that column.
    void ExchangeFields(CFieldXfer& xfer) override;
    /// Asks for a static cursor in place of a keyset-driven one where that
    /// is better, then sets the options as any record. Where the data
    /// source's rows are written by key (its driver profile says), the cursor is
    /// asked for read-only and rows are written by a KeyRowWriter; a table
    /// it cannot name rows of, or a server that takes no writes, leaves the
    /// record read-only.
    void SetStatementOptions(SQLHSTMT statement) override;
    /// The listed names (binary columns as hex text where the driver gives
    /// bytes), then the forms the key writer reads.
    uint32_t AppendSelectList(CText& sql) override;
    /// A cursor asked for read-only leaves a record written by key writable;
    /// the library's own keyset cursor takes over the rows.
    void BeforeFirstFetch() override;
    /// The fix-up pass of ExchangeFields in one loop over the text members;
    /// a row the key writer wrote shows as stored.
    void FixUpFetchedRow() override;
    uint32_t ListedCount() const;
    /// The select-list item that reads listed column `field` (its bracketed
    /// name, or an expression that reads it as text where the driver would
    /// not: binary as hex, BIT as its number).
    CText ReadExpression(uint32_t field) const;
    /// Reads result column `column` of the current row in `form`: from the
    /// cursor's statement, or from the library's own keyset cursor.
    SQLRETURN ReadFormColumn(SQLUSMALLINT column, KeyForm form, KeyValue& value);

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
    /// The columns' SQL types as the catalog listed them (32 entries, not
    /// owned); null when not known.
    const int32_t* FieldTypeList = nullptr;
    /// The writer by key, where one writes the rows (owned by Writer).
    KeyRowWriter* KeyWriter = nullptr;
    /// The library's own keyset cursor, where it reads the rows (owned by
    /// Source).
    OwnKeysetCursor* Keyset = nullptr;
    /// The library message that says why the record takes no writes where
    /// the data source says so (a read-only server); 0 for none.
    unsigned ReadOnlyMessage = 0;
    /// Rows are written by key (KeyWriter), the record and the server
    /// taking writes.
    bool WritesByKey = false;

private:
    bool IsHexBinaryField(uint32_t field) const;
    /// MariaDB's BIT(n), read and written as the number it holds.
    bool IsBitField(uint32_t field) const;
    /// Copies the names and types listed for the open into the record's
    /// own: the record writes the columns it reads, whatever the library
    /// lists later (VORDEX_Open of another table while it is open).
    void KeepListedColumns();

    CText OpenedNames[kValueCount];
    int32_t OpenedTypes[kValueCount] = {};

    /// A binary value's bytes while a write sends them.
    CText BinaryBytes[kValueCount];
};

}  // namespace vordex
