#pragma once

#include "platform/odbc_headers.h"

#include <cstdint>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/text.h"

namespace vordex {

/// Data sources whose rows the library writes by key, in a transaction of
/// its own, instead of through the cursor.
enum class KeyWriteDialect {
    /// Not known to allow it: the cursor's own positioned write serves.
    None,
    /// PostgreSQL: psqlODBC's positioned write names a row by its ctid
    /// alone, which another row takes after a delete and a vacuum.
    Postgres,
    /// SQLite: its driver's SQLSetPos(SQL_UPDATE) writes every bound column
    /// back, SQL_IGNORE or not (0.9998 turns a NULL into '', a blob into the
    /// text of its X'..' rendering and a REAL into its 15-digit rendering).
    Sqlite,
    /// MariaDB and MySQL: the driver grants a read-only cursor.
    MariaDb,
};

/// What a dialect's write by key says and expects.
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
    /// serves. (MariaDB's driver matches no table named outside ASCII over
    /// a connection in another character set.)
    const char* primaryKeyQuery;
    /// Lists, as primaryKeyQuery does, the columns of a unique key over NOT
    /// NULL columns, for a table without a primary key; null for none.
    const char* uniqueKeyQuery;
};

const KeyWriteTraits& TraitsOf(KeyWriteDialect dialect);

KeyWriteDialect KeyWriteDialectOf(CDatabase& database);

/// How the exact stored value of a key column is read from the data source
/// and sent back. The text a column reads as cannot name a row: a REAL's
/// text is rounded, a zero byte ends a text, a blob reads as hex, a
/// character the host's code page lacks reads as "?".
enum class KeyForm {
    /// SQLite's dynamic types: "integer:5", "real:<a text that reads back
    /// as the same double>", "text:<hex bytes>", "blob:<hex bytes>", "null:".
    SqliteTyped,
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

/// The form in which a listed column's value is compared before a write
/// where its text as read is not exact (SQLite's and MariaDB's approximate
/// numbers; MariaDB's characters over a connection whose character set
/// lacks some); KeyForm::Text where the text is the value.
KeyForm CompareFormFor(KeyWriteDialect dialect, int32_t sqlType, bool driverTextLossy);

/// True for the forms read from the listed column's own text (its text is
/// exact): the statement selects nothing more for every row.
inline bool ReadFromListedColumn(KeyForm form) {
    return form == KeyForm::RowidAlias || form == KeyForm::Text || form == KeyForm::BitNumber;
}

/// How a column of `form` is compared with a parameter holding its text.
inline const char* TextComparison(KeyForm form) {
    return form == KeyForm::BitNumber ? "=CAST(? AS UNSIGNED)" : "=?";
}

/// The SQL type by which the library reads, compares and writes a column
/// that the catalog lists as `listedType`, named `typeName` by the driver.
/// MariaDB's driver lists BIT(n) as SQL_BIT or SQL_BINARY (SQL_BIT here:
/// read as its number), and UUID, INET4 and INET6 as SQL_LONGVARBINARY,
/// though the server reads and writes them as text of one exact form
/// (SQL_GUID here: exact text, never cut, compared as text).
int32_t SqlTypeAsHandled(KeyWriteDialect dialect, int32_t listedType, const char* typeName);

KeyForm KeyFormFor(KeyWriteDialect dialect, int32_t sqlType);

/// True when `table`'s primary key is SQLite's rowid under a name (one
/// column declared exactly INTEGER, in a table with a rowid).
bool IsSqliteRowidAlias(CDatabase& database, const CText& table);

/// The select-list item that reads the key form of the column named
/// `bracketedName` (a name as BracketName writes it).
CText KeyFormExpression(KeyForm form, const CText& bracketedName);

/// One key column's value, as read: what its condition binds.
struct KeyValue {
    /// The form as the data source gave it; equal forms name the same value.
    std::string Form;
    bool IsNull = false;
    SQLSMALLINT CType = SQL_C_CHAR;
    SQLSMALLINT SqlType = SQL_VARCHAR;
    /// How the column is compared with the parameter: "=?", or a cast that
    /// makes the bytes sent compare as the stored ones, byte for byte.
    const char* Comparison = "=?";
    std::string Bytes;
    int64_t Integer = 0;
    double Real = 0;
    SQLLEN Indicator = 0;
};

/// Reads result column `column` of the current row of `statement` whole,
/// as the driver's text, with SQLGetData.
SQLRETURN ReadWholeText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out, bool& isNull);

/// Fills `value` from its Form, as the driver gave it in `form`; false when
/// the text is not such a form.
bool ParseKeyForm(KeyForm form, KeyValue& value);

/// Reads the key form in result column `column` of the current row of
/// `statement` into `value`. Returns the driver's answer; a form that
/// cannot be read (the driver's text is not one this library writes)
/// answers SQL_ERROR.
SQLRETURN ReadKeyValue(SQLHSTMT statement, SQLUSMALLINT column, KeyForm form, KeyValue& value);

/// Appends " <name>=?" conditions joined by AND, one per key column, to
/// `sql` and binds the values on `statement` from parameter `firstMarker`
/// on. Returns the first failing answer of SQLBindParameter, else SQL_SUCCESS.
SQLRETURN AppendKeyCondition(CText& sql, SQLHSTMT statement, SQLUSMALLINT firstMarker,
                             const std::vector<CText>& bracketedNames, std::vector<KeyValue>& values);

/// The positions in `names` (the first `count` of them) of the primary key
/// columns of `owner`.`table`, in key order; empty when the table has no
/// primary key, a key column is not among the names, or the catalog cannot
/// tell. Asked with `keyQuery` (see KeyWriteTraits::primaryKeyQuery) where
/// it is not null, which may list another key that names rows as well.
std::vector<uint32_t> PrimaryKeyFields(CDatabase& database, const char* keyQuery, const CText& owner,
                                       const CText& table, const CText* names, uint32_t count);

}  // namespace vordex
