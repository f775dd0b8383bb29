#pragma once

#include <vector>

#include "db/recordset.h"
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
    /// The bracketed table name, qualified by its owner where the data source
    /// allows that in data statements (kept in QuotedName).
    CText DefaultSQL() override;
    /// Lists the first min(FieldCount, 32) names of FieldNameList. Where the
    /// names go into SQL text they are bracketed, so that each means exactly
    /// that column.
    void ExchangeFields(CFieldXfer& xfer) override;
    /// Asks for a static cursor in place of a keyset-driven one where that
    /// is better, then sets the options as any record. Where the data
    /// source's rows are written by key (WriteDialect), the cursor is asked
    /// for read-only, rows are written with UPDATE statements that name the
    /// row by its primary key (KeyFields), and a table without one, or with
    /// a key column beyond the listed ones, is read-only.
    void SetStatementOptions(SQLHSTMT statement) override;
    /// The listed names; where rows are written by key, binary columns as
    /// hex text and, after them, each key column's exact form (KeyForms).
    uint32_t AppendSelectList(CText& sql) override;
    /// A cursor asked for read-only leaves a record written by key writable.
    void BeforeFirstFetch() override;
    /// Where rows are written by key: in one transaction, reads the row
    /// again by its key as read, refuses the write when it is gone or
    /// differs from the copy as read (1024), writes it, and commits only
    /// when exactly one row was written (else 1008 or 1006).
    bool Update() override;
    void DeleteRow() override;
    /// " WHERE <key>=? AND ..." with the key as read, where rows are written
    /// by key; else the positioned condition.
    void AppendRowCondition(uint32_t markers) override;
    /// After a write of the current row, fetches it as the data source
    /// stored it: through the cursor where the write went through it
    /// (psqlODBC reads the row back), else by running the statement again
    /// and moving back to the row's number, since the SQLite and MariaDB
    /// drivers' cursors keep the rows as they first read them; and on to
    /// the row that holds the key, where the row moved. A positioned UPDATE
    /// leaves a static cursor's copy as it was: the values written stay shown.
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
    /// The columns' SQL types as the catalog listed them (32 entries, not
    /// owned); null when not known.
    const int32_t* FieldTypeList = nullptr;
    /// How rows are written where not through the cursor.
    KeyWriteDialect WriteDialect = KeyWriteDialect::None;
    /// Field-list positions of the primary key that writes name rows by;
    /// empty when rows are written through the cursor.
    std::vector<uint32_t> KeyFields;
    /// How each key column's exact value is read, and its bracketed name.
    std::vector<KeyForm> KeyForms;
    std::vector<CText> KeyNames;

private:
    uint32_t ListedCount() const;
    /// The result column of key field `key`'s form (not for a form read
    /// from its listed column).
    SQLUSMALLINT KeyFormColumn(size_t key) const;
    bool IsHexBinaryField(uint32_t field) const;
    /// The current row's key forms, read from the cursor once per row: a
    /// column's data can be got only once.
    const std::vector<KeyValue>& CurrentRowKey();
    /// Runs `write` (a write of the current row by key) inside the
    /// transaction that checks the row first; see Update.
    template <typename Write>
    void WriteByKey(Write write);  // write(the transaction's statement)
    /// Reads the row named by RowKey on `statement` and throws when it is
    /// gone, not alone, or not the row as read.
    void CheckRowAsRead(SQLHSTMT statement);
    /// True when the row `statement` stands on reads as the saved copies
    /// and has the key forms of RowKey.
    bool MatchesRowAsRead(SQLHSTMT statement);
    /// After a write of key fields, inside its transaction: the row's new
    /// key forms (KeyAfterWrite), where the values written find one row.
    void ReadKeyAfterWrite(SQLHSTMT statement);
    /// True when the current row holds the key of the row last written:
    /// its forms as read, or as found after the write, or else the texts
    /// `written` in the key fields the write changed.
    bool HoldsWrittenKey(const std::vector<CText>& written);

    /// The key of the row being written, as read: bound, so it stays put.
    std::vector<KeyValue> RowKey;
    /// Bit k: the last write changed key field k.
    uint64_t KeyFieldsWritten = 0;
    std::vector<KeyValue> KeyAfterWrite;
    std::vector<KeyValue> CurrentKey;
    bool CurrentKeyRead = false;
    /// A binary value's bytes while a write sends them.
    CText BinaryBytes[kValueCount];
};

}  // namespace vordex
