#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/row_source.h"
#include "db/text.h"
#include "platform/odbc_headers.h"
#include "records/key_store.h"
#include "records/row_key.h"

namespace vordex {

class CMyRec;

/// The library's own keyset cursor over one table whose rows a key names:
/// the keys are read in key order, a block at a time as the walk needs them,
/// and kept (the key's bytes a row); the rows are read from the table in
/// blocks by key and dropped when the walk leaves the block. Each read is a
/// short statement of its own, read whole and closed: nothing is held on the
/// server between calls (no cursor, no transaction, no lock).
///
/// What the record shows when others write: a row changed elsewhere shows
/// its new values when its block is next read; a row deleted elsewhere is
/// deleted (SQL_ROW_DELETED) once its block is read again; a row inserted
/// elsewhere among the keys already read, or past the last key at the open,
/// is not in the record (one inserted among keys not yet read is, in key
/// order). Row numbers follow the key order and stay for the record's life;
/// a row whose key the host writes keeps its number under its new key, out
/// of the order: the cursor asks for it by that key.
class OwnKeysetCursor final : public RowSource {
public:
    /// How a column of the order is compared and sent.
    enum class OrderKind {
        /// A whole number (SQLite's rowid, an INTEGER key, MariaDB's BIT):
        /// SQL_C_SBIGINT.
        Integer,
        /// An approximate number, exact as a double: SQL_C_DOUBLE.
        Double,
        /// A value whose driver text is exact: that text.
        Text,
        /// Bytes (read as hex text): the bytes.
        Binary,
    };
    struct OrderColumn {
        /// As the record's statement names it: a bracketed name, or the
        /// row number column.
        CText bracketed;
        /// The same in the data source's quotes, as the cursor's own
        /// statements name it.
        CText name;
        OrderKind kind;
        /// The listed column whose text as the record reads it is the value;
        /// -1 for a result column of its own.
        int32_t listedField;
        /// Its result column in the record's statement (1-based).
        SQLUSMALLINT resultColumn = 0;
    };

    /// The cursor for `record` (open as far as its statement options, its
    /// key writer chosen), or null where its rows are read through the
    /// driver's cursor: no key to read by, a driver or a connect string that
    /// reads otherwise.
    static std::unique_ptr<OwnKeysetCursor> For(CMyRec& record);

    OwnKeysetCursor(CMyRec& record, std::vector<OrderColumn> order);
    ~OwnKeysetCursor() override;
    OwnKeysetCursor(const OwnKeysetCursor&) = delete;
    OwnKeysetCursor& operator=(const OwnKeysetCursor&) = delete;

    /// Appends the order's select-list items not read from a listed column,
    /// each followed by ","; numbers them from `nextColumn` on. Call once the
    /// listed names and the writer's forms are in the list.
    void AppendOrderItems(CText& sql, SQLUSMALLINT& nextColumn);
    /// The record's own statement has been executed and described: from here
    /// on each row comes from the cursor.
    void Start(uint32_t resultColumns);

    SQLRETURN Fetch(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched, SQLUSMALLINT* status) override;

    /// Result column `column` of the current row as the block holds it, in
    /// `form` (a form the key writer selects beside the listed columns).
    SQLRETURN ReadForm(SQLUSMALLINT column, KeyForm form, KeyValue& value) const;

    /// After a write that may have changed the current row's key: its order
    /// values as `statement` (positioned on the row, selecting what the
    /// record selects) and `texts` (its listed columns as the driver gave
    /// them) hold them now.
    void RenameCurrentRow(SQLHSTMT statement, const std::vector<std::optional<std::string>>& texts);

private:
    struct BlockColumn;

    /// The order values of row `row` of the keys, one encoded string.
    std::string KeyAt(size_t row) const;

    void SizeBlock();
    void ReadUpperBound();
    void ReadKeysThrough(int64_t row);
    void ReadNextBlock();
    void ReadKeysOnly(size_t wanted);
    void ReReadBlock(int64_t target, bool forward);
    void CopyRowToRecord(size_t slot);

    /// `bracketed` in the data source's own quotes.
    CText Quoted(CText bracketed) const;
    /// "SELECT <the order's values> FROM <table>".
    CText OrderSelect() const;
    /// The bindings of the order's values alone, as OrderSelect reads them.
    std::vector<BlockColumn> OrderColumnsAlone() const;
    /// "SELECT <items> FROM <table>" of the record's statement.
    CText SelectHead() const;
    /// Appends the condition that the order is `op` the key `key` (">",
    /// ">=", "<", "<="), and its parameters to `params`.
    /// Each parameter: the order column it is a value of, and its encoded value.
    using Parameters = std::vector<std::pair<size_t, std::string>>;
    void AppendOrderCondition(CText& sql, const char* op, const std::string& key, Parameters& params) const;
    /// Appends the condition that the order is the key `key`.
    void AppendKeyEquals(CText& sql, const std::string& key, Parameters& params) const;
    void AppendOrderBy(CText& sql, bool descending) const;
    /// Appends " WHERE ... ORDER BY ... LIMIT `limit`" of the rows past the
    /// last key read in order, up to the last key at the open.
    void AppendKeysNotYetRead(CText& sql, size_t limit, Parameters& params) const;
    /// True when `key`, just read in order, names a row the host renamed to
    /// it: that row keeps its own number.
    bool RenamedToKey(const std::string& key) const { return !renamed_.empty() && renamed_.count(key) != 0; }
    /// Sets `key` to the encoded order values of block slot row `index` of `columns`.
    /// `keysOnly`: `columns` are the order's alone, in its order.
    void KeyOfFetchedRow(const std::vector<BlockColumn>& columns, size_t index, bool keysOnly, std::string& key) const;
    void BindBlockColumns(SQLHSTMT statement, std::vector<BlockColumn>& columns, size_t rows) const;
    /// Runs `sql` (bracketed, in the host's code page) with `params` on
    /// `statement`.
    void Execute(SQLHSTMT statement, CText sql, const Parameters& params) const;
    /// The widths of the block's columns, once the record's are bound.
    std::vector<BlockColumn> NewBlockColumns() const;

    CMyRec& record_;
    std::vector<OrderColumn> order_;
    uint32_t resultColumns_ = 0;
    /// Form result columns the key writer reads, and their forms.
    std::vector<std::pair<SQLUSMALLINT, KeyForm>> forms_;

    KeyStore keys_;
    bool keysComplete_ = false;
    /// The last key read in the order (empty before the first): the keys
    /// not yet read follow it, whatever the host wrote into the keys since.
    std::string readThrough_;
    /// The rows whose key the host wrote, by their key now.
    std::unordered_map<std::string, size_t> renamed_;
    /// The last key at the open: rows past it came later.
    std::string upperBound_;
    bool started_ = false;

    // The block: rows [blockFirst_, blockFirst_ + slots_.size()) of the keys.
    size_t blockRows_ = 0;
    std::vector<BlockColumn> block_;
    size_t blockFirst_ = 0;
    /// The block row holding each slot's row; -1 where it is gone.
    std::vector<int32_t> slots_;

    /// The row the cursor stands on: -1 before the first, the key count
    /// past the last (once the keys are complete).
    int64_t position_ = -1;
};

}  // namespace vordex
