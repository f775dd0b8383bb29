#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/row_writer.h"
#include "db/text.h"
#include "platform/odbc_headers.h"
#include "records/row_key.h"

namespace vordex {

class CMyRec;

/// Writes a table record's current row by what the table stores: its
/// primary key, or where it has none, a row identity that a row taking a
/// freed slot cannot fake (PostgreSQL's tableoid, ctid and xmin). In one
/// transaction it reads the row again by that name (locked where the data
/// source locks rows), compares it with the copy as read in the values'
/// exact forms, writes exactly that row and commits (RowWriter's contract).
///
/// Rows keep their numbers: nothing reads the whole table again. A written
/// row is read again alone, by its key as stored, and shows so whenever the
/// walk comes back to it (the driver's cursor keeps its first copy).
class KeyRowWriter final : public RowWriter {
public:
    /// One value in the form the writer reads it: a key column (named by
    /// its listed field, or a row identity column of no field) or a listed
    /// column whose text is not exact.
    struct FormColumn {
        /// The bracketed name (a key's condition names it).
        CText name;
        KeyForm form;
        /// The field-list position; -1 for a row identity column.
        int32_t field;
        bool key;
        /// The result column the form is read from; 0 where it is the
        /// listed column's own text.
        SQLUSMALLINT resultColumn = 0;
    };

    /// The writer for `record`'s table, or null where no key names its rows
    /// (the record is then read-only). Where the server takes no writes it
    /// sets the record's ReadOnlyMessage, and the writer only names the rows
    /// that are read. `record` is open as far as its
    /// statement options: its field list, owner and table are set.
    /// Asks the connection's driver profile how its rows are written by key.
    static std::unique_ptr<KeyRowWriter> For(CMyRec& record);

    KeyRowWriter(CMyRec& record, const KeyWriteTraits& traits, std::vector<FormColumn> columns);

    void Write(CRecordset& record) override;
    void AppendRowCondition(CRecordset& record, uint32_t markers) override;
    void ReadBack(CRecordset& record) override;

    /// Appends the select-list items of the forms not read from a listed
    /// column, each followed by ","; numbers their result columns from
    /// `firstColumn` on. Returns the next result column.
    SQLUSMALLINT AppendFormItems(CText& sql, SQLUSMALLINT firstColumn);
    /// After each fetch of a row: a row this writer wrote shows as stored.
    /// Inline: it runs for every fetched row.
    void AfterFetch() {
        currentRead_ = false;
        if (!written_.empty()) ShowIfWritten();
    }

    const std::vector<FormColumn>& Columns() const { return columns_; }
    /// The result columns read for forms beyond the listed columns, and their forms.
    std::vector<std::pair<SQLUSMALLINT, KeyForm>> FormItems() const;

private:
    /// A row as the data source stored it after a write: each listed
    /// column's text in the driver's code page (none for NULL) and the forms.
    struct StoredRow {
        std::vector<std::optional<std::string>> texts;
        std::vector<KeyValue> forms;
    };

    /// The current row's forms, as read: from the cursor once a row (a
    /// column's data can be got only once), or as stored after a write.
    const std::vector<KeyValue>& CurrentForms();
    /// The key values among `forms`.
    std::vector<KeyValue> KeyOf(const std::vector<KeyValue>& forms) const;
    /// The record's own SELECT with the condition on `key` in place of its
    /// filter, bound on `statement` from marker 1; `lock` appended.
    CText RowSelect(SQLHSTMT statement, std::vector<KeyValue>& key, const char* lock);
    /// Each listed column's text as the driver gave it when the row was
    /// read (none for NULL).
    std::vector<std::optional<std::string>> TextsAsRead() const;
    void CheckRowAsRead(SQLHSTMT statement);
    /// True when `now` (the row read again) holds what the row held when read.
    bool MatchesRowAsRead(const StoredRow& now) const;
    /// Reads the row `statement` stands on (the record's select list).
    bool ReadRow(SQLHSTMT statement, StoredRow& row) const;
    /// Runs the composed write and judges what the data source answered.
    void ExecuteWrite();
    /// Inside the write's transaction: the key the row has now.
    void FindKeyAfterWrite(SQLHSTMT statement);
    /// Puts `row` into the record's members, as if fetched.
    void Show(const StoredRow& row);
    /// Shows the current row as stored where this writer wrote it.
    void ShowIfWritten();
    /// Puts the texts as read back where the driver's texts are kept.
    void RestoreDriverTexts(const std::vector<std::optional<std::string>>& texts);

    CMyRec& record_;
    const KeyWriteTraits& traits_;
    std::vector<FormColumn> columns_;
    /// The bracketed names of the key columns, in key order.
    std::vector<CText> keyNames_;
    std::vector<KeyValue> current_;
    bool currentRead_ = false;
    /// The key of the row being written, as read: bound, so it stays put.
    std::vector<KeyValue> rowKey_;
    /// After a write: the row's key as stored, empty when not known.
    std::vector<KeyValue> keyAfterWrite_;
    std::vector<std::optional<std::string>> asRead_;
    /// Rows written, by their number, as stored.
    std::map<int32_t, StoredRow> written_;
};

}  // namespace vordex
