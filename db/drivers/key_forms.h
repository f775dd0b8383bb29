#pragma once

namespace vordex {

/// What a driver's write by key says and expects: the statements around the
/// write and how the driver answers them.
struct KeyWriteTraits {
    /// Begins the write's transaction.
    const char* begin;
    /// Appended to the check's SELECT so that the row stays as checked
    /// until the COMMIT ("" where the transaction's own lock does that).
    const char* lockRow;
    /// The UPDATE's first words: SQLite's "UPDATE OR ABORT" keeps a
    /// conflict clause of the table (ON CONFLICT REPLACE) from deleting
    /// another row.
    const char* update;
    /// SQLRowCount counts rows changed, not rows found: 0 for a row that
    /// already held the values (MariaDB).
    bool countsChangedRowsOnly;
    /// Any warning of the UPDATE means a value was not stored as given
    /// (MariaDB: a truncated or converted value is a warning, its count 0).
    bool warningRefuses;
    /// The UPDATE can hand back the key it stored (RETURNING): a row
    /// identity changes with every write, a trigger may change the key.
    bool returnsKey;
    /// Answers 1 when the server or the session takes no writes; null
    /// where the data source cannot tell.
    const char* readOnlyQuery;
    /// Lists the names of the primary key's columns of the table whose
    /// owner and name are its two parameters (the owner may be empty), from
    /// the server's own catalog; null where the driver's SQLPrimaryKeys
    /// serves.
    const char* primaryKeyQuery;
    /// Lists, as primaryKeyQuery does, the columns of a unique key over NOT
    /// NULL columns, for a table without a primary key; null for none.
    const char* uniqueKeyQuery;
};

/// How the exact stored value of a key column is read from the data source
/// and sent back. The text a column reads as cannot name a row: a REAL's
/// text is rounded, a zero byte ends a text, a blob reads as hex, a
/// character the host's code page lacks reads as "?".
enum class KeyForm {
    /// SQLite's dynamic types: "integer:5", "real:<a text that reads back
    /// as the same double>", "text:<hex bytes>", "blob:<hex bytes>", "null:".
    SqliteTyped,
    /// SQLite's quote() of a value that is only compared, never sent: as
    /// exact and as typed as SqliteTyped ("1", "1.0", "'1'", "X'01'"), at a
    /// third of its cost to the data source for every row read.
    SqliteQuoted,
    /// The stored bytes in hex (MariaDB's character and binary columns).
    HexBytes,
    /// An approximate number, read and sent as a double.
    Double,
    /// A value whose text is exact (integers, decimals, dates and times).
    Text,
    /// MariaDB's BIT(n), read as the unsigned number it holds (its bytes
    /// read as text are no text: BIT(1) 0 reads like an empty value) and
    /// compared as one.
    BitNumber,
    /// SQLite's INTEGER PRIMARY KEY, the rowid itself: always an integer,
    /// whose text as read names it. Read from the listed column, so the
    /// statement selects nothing more.
    RowidAlias,
};

/// True for the forms read from the listed column's own text (its text is
/// exact): the statement selects nothing more for every row.
inline bool ReadFromListedColumn(KeyForm form) {
    return form == KeyForm::RowidAlias || form == KeyForm::Text || form == KeyForm::BitNumber;
}

/// How a column of `form` is compared with a parameter holding its text.
inline const char* TextComparison(KeyForm form) { return form == KeyForm::BitNumber ? "=CAST(? AS UNSIGNED)" : "=?"; }

}  // namespace vordex
