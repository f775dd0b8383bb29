#include "records/own_keyset_cursor.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/hex_text.h"
#include "db/odbc_call.h"
#include "db/own_statement.h"
#include "db/sql_types.h"
#include "records/key_row_writer.h"
#include "records/my_rec.h"

namespace vordex {

/// One result column of a block: `rows` values of `width` bytes each.
struct OwnKeysetCursor::BlockColumn {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLLEN width = 0;
    std::vector<char> data;
    std::vector<SQLLEN> indicators;

    const char* At(size_t row) const { return data.data() + row * static_cast<size_t>(width); }
};

namespace {

// The rows of a block: as many as about 2 MiB of bound storage holds, at
// most 1,000 (a statement's round trip a thousand rows costs the walk
// little) and at least 16.
constexpr size_t kBlockBytes = 2u << 20;
constexpr size_t kMostBlockRows = 1000;
constexpr size_t kLeastBlockRows = 16;
// A form in text: hex of 255 characters of up to four bytes, and its type.
constexpr SQLLEN kFormWidth = 2 * 4 * 256 + 32;
// A number compared in an exact text of it (SQLite's quote()).
constexpr SQLLEN kNumberFormWidth = 64;
// The first block is small: the first row comes at once.
constexpr size_t kFirstBlockRows = 100;
// Keys read at once for a seek ahead, at most.
constexpr size_t kMostKeysAtOnce = 100000;

/// Appends the value whose text (as the record reads it) is the `length`
/// bytes at `text`, in the form of `kind`; false when the text is no such
/// value.
bool AppendTextValue(std::string& key, OwnKeysetCursor::OrderKind kind, const char* text, size_t length) {
    if (kind == OwnKeysetCursor::OrderKind::Integer) {
        int64_t whole = 0;
        if (!ParseInteger(std::string(text, length), whole)) return false;  // a short text: no allocation
        AppendKeyPart(key, reinterpret_cast<const char*>(&whole), sizeof whole);
    } else if (kind == OwnKeysetCursor::OrderKind::Binary) {
        std::string bytes;
        if (!DecodeHex(text, length, bytes)) return false;
        AppendKeyPart(key, bytes.data(), bytes.size());
    } else {
        AppendKeyPart(key, text, length);
    }
    return true;
}

/// A parameter's value, kept where its binding points until the statement ran.
struct Parameter {
    std::string bytes;
    int64_t integer = 0;
    double real = 0;
    SQLLEN indicator = 0;
};

}  // namespace

std::unique_ptr<OwnKeysetCursor> OwnKeysetCursor::For(CMyRec& record) {
    CDatabase& database = *record.Database;
    const DriverProfile& profile = database.Profile();
    if (!profile.ReadsInBlocksByKey() || database.DriverReadingChosen || record.FieldNameList == nullptr) {
        return nullptr;
    }
    std::vector<OrderColumn> order;
    // A number of the table's own names its rows in a stable order.
    if (const char* number = profile.RowNumberColumn(database, record.TableName)) {
        order.push_back({CText(number), CText(), OrderKind::Integer, -1});
        return std::make_unique<OwnKeysetCursor>(record, std::move(order));
    }
    // Else the key the writer names rows by, where each of its columns can be
    // compared in order as the data source orders it.
    if (record.KeyWriter == nullptr) return nullptr;
    const bool driverTextExact = database.CodePages.driver == platform::CodePage::Utf8;
    for (const KeyRowWriter::FormColumn& column : record.KeyWriter->Columns()) {
        if (!column.key) continue;
        if (column.field < 0) return nullptr;  // a row version changes with every write
        const int32_t type = record.FieldTypeList != nullptr ? record.FieldTypeList[column.field] : SQL_VARCHAR;
        OrderKind kind;
        int32_t listed = column.field;
        switch (column.form) {
            case KeyForm::Text:
                // A whole number is kept and sent as one: eight bytes a row.
                kind = IsSmallIntegerSqlType(type) ? OrderKind::Integer : OrderKind::Text;
                break;
            case KeyForm::BitNumber:
            case KeyForm::RowidAlias:
                kind = OrderKind::Integer;
                break;
            case KeyForm::Double:
                kind = OrderKind::Double;
                listed = -1;
                break;
            case KeyForm::HexBytes:
                // Bytes are ordered as bytes; characters by the column's
                // collation, with their text as the connection sends it.
                if (IsBinarySqlType(type)) {
                    kind = OrderKind::Binary;
                } else if (driverTextExact) {
                    kind = OrderKind::Text;
                } else {
                    return nullptr;
                }
                break;
            default:
                return nullptr;
        }
        order.push_back({column.name, CText(), kind, listed});
    }
    if (order.empty()) return nullptr;
    return std::make_unique<OwnKeysetCursor>(record, std::move(order));
}

OwnKeysetCursor::OwnKeysetCursor(CMyRec& record, std::vector<OrderColumn> order)
    : record_(record),
      order_(std::move(order)),
      keys_(order_.size(), std::all_of(order_.begin(), order_.end(), [](const OrderColumn& column) {
                return column.kind == OrderKind::Integer || column.kind == OrderKind::Double;
            })) {
    for (OrderColumn& column : order_) column.name = Quoted(column.bracketed);
}

CText OwnKeysetCursor::Quoted(CText bracketed) const {
    record_.Database->ConvertBrackets(bracketed.Buffer());
    bracketed.SyncLength();
    return bracketed;
}

OwnKeysetCursor::~OwnKeysetCursor() = default;

void OwnKeysetCursor::AppendOrderItems(CText& sql, SQLUSMALLINT& nextColumn) {
    for (OrderColumn& column : order_) {
        if (column.listedField >= 0) {
            column.resultColumn = static_cast<SQLUSMALLINT>(column.listedField + 1);
            continue;
        }
        sql.Append(column.bracketed);
        sql.Append(",");
        column.resultColumn = nextColumn++;
    }
}

void OwnKeysetCursor::Start(uint32_t resultColumns) {
    resultColumns_ = resultColumns;
    forms_ =
        record_.KeyWriter != nullptr ? record_.KeyWriter->FormItems() : std::vector<std::pair<SQLUSMALLINT, KeyForm>>{};
    // The statement reads every column the cursor reads from its blocks.
    for (const OrderColumn& column : order_) {
        if (column.resultColumn == 0 || column.resultColumn > resultColumns_) record_.ThrowError(SQL_ERROR);
    }
    for (const auto& form : forms_) {
        if (form.first > resultColumns_) record_.ThrowError(SQL_ERROR);
    }
    if (record_.ListedCount() > resultColumns_) record_.ThrowError(SQL_ERROR);
    // The record's own statement selected nothing: it holds nothing open.
    SQLFreeStmt(record_.StatementHandle, SQL_CLOSE);
}

std::string OwnKeysetCursor::KeyAt(size_t row) const { return keys_.At(row); }

CText OwnKeysetCursor::SelectHead() const {
    // The record's statement is "SELECT <items> FROM <table> WHERE <filter>".
    const CText& select = record_.SqlStatement;
    const CText& filter = record_.Filter;
    static constexpr char kWhere[] = " WHERE ";
    const size_t tail = filter.Length() + sizeof kWhere - 1;
    if (select.Length() < tail) record_.ThrowError(SQL_ERROR);
    return CText(select.c_str(), select.Length() - tail);
}

void OwnKeysetCursor::AppendOrderCondition(CText& sql, const char* op, const std::string& key,
                                           Parameters& params) const {
    // (a, b) > (x, y) as "(a > x OR (a = x AND b > y))": every data source
    // takes it, and uses the key's index for it.
    const std::vector<std::string> parts = SplitKeyParts(key);
    const char strict[2] = {op[0], '\0'};
    const size_t last = order_.size() - 1;
    sql.Append("(");
    for (size_t i = 0; i < last; ++i) {
        sql.Append("(");
        sql.Append(order_[i].name);
        sql.Append(strict);
        sql.Append("? OR (");
        sql.Append(order_[i].name);
        sql.Append("=? AND ");
        params.emplace_back(i, parts[i]);
        params.emplace_back(i, parts[i]);
    }
    sql.Append(order_[last].name);
    sql.Append(op);
    sql.Append("?");
    params.emplace_back(last, parts[last]);
    for (size_t i = 0; i < last; ++i) sql.Append("))");
    sql.Append(")");
}

void OwnKeysetCursor::AppendKeyEquals(CText& sql, const std::string& key, Parameters& params) const {
    const std::vector<std::string> parts = SplitKeyParts(key);
    sql.Append("(");
    for (size_t i = 0; i < order_.size(); ++i) {
        if (i > 0) sql.Append(" AND ");
        sql.Append(order_[i].name);
        sql.Append("=?");
        params.emplace_back(i, parts[i]);
    }
    sql.Append(")");
}

void OwnKeysetCursor::AppendOrderBy(CText& sql, bool descending) const {
    sql.Append(" ORDER BY ");
    for (size_t i = 0; i < order_.size(); ++i) {
        if (i > 0) sql.Append(",");
        sql.Append(order_[i].name);
        if (descending) sql.Append(" DESC");
    }
}

void OwnKeysetCursor::Execute(SQLHSTMT statement, CText sql, const Parameters& params) const {
    std::vector<Parameter> values(params.size());
    for (size_t p = 0; p < params.size(); ++p) {
        const OrderColumn& column = order_[params[p].first];
        Parameter& value = values[p];
        value.bytes = params[p].second;
        SQLSMALLINT cType = SQL_C_CHAR, sqlType = SQL_VARCHAR;
        void* data = value.bytes.data();
        SQLULEN size = std::max<size_t>(value.bytes.size(), 1);
        value.indicator = static_cast<SQLLEN>(value.bytes.size());
        if (column.kind == OrderKind::Integer) {
            std::memcpy(&value.integer, value.bytes.data(), sizeof value.integer);
            cType = SQL_C_SBIGINT, sqlType = SQL_BIGINT, data = &value.integer, size = 0, value.indicator = 0;
        } else if (column.kind == OrderKind::Double) {
            std::memcpy(&value.real, value.bytes.data(), sizeof value.real);
            cType = SQL_C_DOUBLE, sqlType = SQL_DOUBLE, data = &value.real, size = 0, value.indicator = 0;
        } else if (column.kind == OrderKind::Binary) {
            cType = SQL_C_BINARY, sqlType = SQL_VARBINARY;
        }
        const SQLRETURN rc =
            SQLBindParameter(statement, static_cast<SQLUSMALLINT>(p + 1), SQL_PARAM_INPUT, cType, sqlType, size, 0,
                             data, static_cast<SQLLEN>(value.bytes.size()), &value.indicator);
        if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
    }
    // Every name in `sql` is in the data source's quotes already.
    CDatabase& database = *record_.Database;
    CText converted;
    const CText& sent = database.CodePages.ForDriver(sql, converted);
    SQLRETURN rc = RepeatWhileExecuting(
        [&] { return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sent.c_str())), SQL_NTS); });
    if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
}

std::vector<OwnKeysetCursor::BlockColumn> OwnKeysetCursor::NewBlockColumns() const {
    std::vector<BlockColumn> columns(resultColumns_);
    const uint32_t listed = record_.ListedCount();
    for (uint32_t c = 0; c < resultColumns_; ++c) {
        BlockColumn& column = columns[c];
        if (c < listed) {
            column.width = std::max<SQLLEN>(record_.ColumnRecords[c].BoundBytes, 2);
            continue;
        }
        column.width = kFormWidth;
        if (record_.KeyWriter != nullptr) {
            for (const KeyRowWriter::FormColumn& form : record_.KeyWriter->Columns()) {
                if (form.resultColumn != c + 1) continue;
                if (form.form == KeyForm::Double) column.cType = SQL_C_DOUBLE;
                // A number compared as stored ("real:" and its digits); a
                // text in its column is too long and refuses a write.
                if (form.form == KeyForm::SqliteQuoted) column.width = kNumberFormWidth;
            }
        }
        for (const OrderColumn& order : order_) {
            if (order.resultColumn != c + 1) continue;
            column.cType = order.kind == OrderKind::Double ? SQL_C_DOUBLE : SQL_C_SBIGINT;
        }
        if (column.cType != SQL_C_CHAR) column.width = 8;
    }
    return columns;
}

void OwnKeysetCursor::BindBlockColumns(SQLHSTMT statement, std::vector<BlockColumn>& columns, size_t rows) const {
    SQLRETURN rc = SQLSetStmtOption(statement, SQL_ROWSET_SIZE, rows);
    if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
    for (size_t c = 0; c < columns.size(); ++c) {
        BlockColumn& column = columns[c];
        // Never smaller: a block read again fills any of its slots.
        if (column.data.size() < rows * static_cast<size_t>(column.width)) {
            column.data.resize(rows * static_cast<size_t>(column.width));
        }
        if (column.indicators.size() < rows) column.indicators.resize(rows);
        rc = SQLBindCol(statement, static_cast<SQLUSMALLINT>(c + 1), column.cType, column.data.data(), column.width,
                        column.indicators.data());
        if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement);
    }
}

void OwnKeysetCursor::KeyOfFetchedRow(const std::vector<BlockColumn>& columns, size_t index, bool keysOnly,
                                      std::string& key) const {
    key.clear();
    for (size_t i = 0; i < order_.size(); ++i) {
        const OrderColumn& order = order_[i];
        const BlockColumn& column = columns[keysOnly ? i : order.resultColumn - 1u];
        const char* at = column.At(index);
        const SQLLEN indicator = column.indicators[index];
        if (indicator == SQL_NULL_DATA) record_.ThrowError(ErrorRowStatus);  // keys hold no NULL
        if (column.cType != SQL_C_CHAR) {
            AppendKeyPart(key, at, 8);
            continue;
        }
        const auto length = static_cast<size_t>(std::min(indicator, column.width - 1));
        if (!AppendTextValue(key, order.kind, at, length)) record_.ThrowError(SQL_ERROR);
    }
}

CText OwnKeysetCursor::OrderSelect() const {
    CText sql("SELECT ");
    for (size_t i = 0; i < order_.size(); ++i) {
        if (i > 0) sql.Append(",");
        sql.Append(order_[i].listedField >= 0
                       ? Quoted(record_.ReadExpression(static_cast<uint32_t>(order_[i].listedField)))
                       : order_[i].name);
    }
    sql.Append(" FROM ");
    sql.Append(Quoted(record_.QuotedName));
    return sql;
}

std::vector<OwnKeysetCursor::BlockColumn> OwnKeysetCursor::OrderColumnsAlone() const {
    std::vector<BlockColumn> columns(order_.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        columns[i].cType = order_[i].listedField >= 0            ? SQL_C_CHAR
                           : order_[i].kind == OrderKind::Double ? SQL_C_DOUBLE
                                                                 : SQL_C_SBIGINT;
        columns[i].width = columns[i].cType == SQL_C_CHAR ? kFormWidth : 8;
    }
    return columns;
}

void OwnKeysetCursor::ReadUpperBound() {
    started_ = true;
    CText sql = OrderSelect();
    AppendOrderBy(sql, true);
    sql.Append(" LIMIT 1");
    const OwnStatement statement(record_.Database->ConnectionHandle);
    if (!statement) record_.ThrowError(SQL_ERROR);
    std::vector<BlockColumn> columns = OrderColumnsAlone();
    BindBlockColumns(statement.Handle(), columns, 1);
    Execute(statement.Handle(), sql, {});
    SQLULEN fetched = 0;
    SQLUSMALLINT status = 0;
    const SQLRETURN rc = RepeatWhileExecuting(
        [&] { return SQLExtendedFetch(statement.Handle(), SQL_FETCH_NEXT, 0, &fetched, &status); });
    if (rc == SQL_NO_DATA || (SQL_SUCCEEDED(rc) && fetched == 0)) {
        keysComplete_ = true;  // no rows
        return;
    }
    if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement.Handle());
    KeyOfFetchedRow(columns, 0, true, upperBound_);
}

void OwnKeysetCursor::SizeBlock() {
    if (!block_.empty()) return;
    block_ = NewBlockColumns();
    size_t rowBytes = 0;
    for (const BlockColumn& column : block_) rowBytes += static_cast<size_t>(column.width) + sizeof(SQLLEN);
    blockRows_ = std::clamp(kBlockBytes / std::max<size_t>(rowBytes, 1), kLeastBlockRows, kMostBlockRows);
    for (BlockColumn& column : block_) {
        column.data.resize(blockRows_ * static_cast<size_t>(column.width));
        column.indicators.resize(blockRows_);
    }
}

void OwnKeysetCursor::AppendKeysNotYetRead(CText& sql, size_t limit, Parameters& params) const {
    sql.Append(" WHERE ");
    if (!readThrough_.empty()) {
        AppendOrderCondition(sql, ">", readThrough_, params);
        sql.Append(" AND ");
    }
    AppendOrderCondition(sql, "<=", upperBound_, params);
    AppendOrderBy(sql, false);
    sql.Append(" LIMIT ");
    sql.Append(std::to_string(limit).c_str());
}

void OwnKeysetCursor::ReadNextBlock() {
    SizeBlock();
    CText sql = SelectHead();
    Parameters params;
    const size_t limit = keys_.Size() == 0 ? std::min(blockRows_, kFirstBlockRows) : blockRows_;
    AppendKeysNotYetRead(sql, limit, params);
    const OwnStatement statement(record_.Database->ConnectionHandle);
    if (!statement) record_.ThrowError(SQL_ERROR);
    BindBlockColumns(statement.Handle(), block_, limit);
    Execute(statement.Handle(), sql, params);
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(limit);
    const SQLRETURN rc = RepeatWhileExecuting(
        [&] { return SQLExtendedFetch(statement.Handle(), SQL_FETCH_NEXT, 0, &fetched, status.data()); });
    if (rc == SQL_NO_DATA) fetched = 0;
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) record_.ThrowError(rc, statement.Handle());
    blockFirst_ = keys_.Size();
    slots_.clear();
    slots_.reserve(fetched);
    std::string key;  // one buffer for every row's key
    for (size_t row = 0; row < fetched; ++row) {
        KeyOfFetchedRow(block_, row, false, key);
        if (RenamedToKey(key)) continue;
        keys_.Append(key);
        slots_.push_back(static_cast<int32_t>(row));
    }
    if (fetched > 0) readThrough_ = key;
    if (fetched < limit) keysComplete_ = true;
}

void OwnKeysetCursor::ReadKeysOnly(size_t wanted) {
    CText sql = OrderSelect();
    Parameters params;
    const size_t limit = std::min(std::max(wanted, keys_.Size()), kMostKeysAtOnce);
    AppendKeysNotYetRead(sql, limit, params);
    const OwnStatement statement(record_.Database->ConnectionHandle);
    if (!statement) record_.ThrowError(SQL_ERROR);
    std::vector<BlockColumn> columns = OrderColumnsAlone();
    const size_t rows = std::min<size_t>(limit, kMostBlockRows);
    BindBlockColumns(statement.Handle(), columns, rows);
    Execute(statement.Handle(), sql, params);
    size_t read = 0;
    std::vector<SQLUSMALLINT> status(rows);
    std::string key;
    for (;;) {
        SQLULEN fetched = 0;
        const SQLRETURN rc = RepeatWhileExecuting(
            [&] { return SQLExtendedFetch(statement.Handle(), SQL_FETCH_NEXT, 0, &fetched, status.data()); });
        if (rc == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement.Handle());
        for (size_t row = 0; row < fetched; ++row) {
            KeyOfFetchedRow(columns, row, true, key);
            if (!RenamedToKey(key)) keys_.Append(key);
        }
        if (fetched > 0) readThrough_ = key;
        read += fetched;
        if (fetched < rows) break;
    }
    if (read < limit) keysComplete_ = true;
}

void OwnKeysetCursor::ReadKeysThrough(int64_t row) {
    if (!started_) ReadUpperBound();
    while (!keysComplete_ && row >= static_cast<int64_t>(keys_.Size())) {
        const auto count = static_cast<int64_t>(keys_.Size());
        if (row == count) {
            ReadNextBlock();  // the walk goes on: rows and keys at once
        } else {
            ReadKeysOnly(static_cast<size_t>(std::min<int64_t>(row - count + 1, kMostKeysAtOnce)));
        }
    }
}

void OwnKeysetCursor::ReReadBlock(int64_t target, bool forward) {
    SizeBlock();
    const size_t count = keys_.Size();
    size_t first, last;
    if (forward) {
        first = static_cast<size_t>(target);
        last = std::min(first + blockRows_, count) - 1;
    } else {
        last = static_cast<size_t>(target);
        first = last + 1 > blockRows_ ? last + 1 - blockRows_ : 0;
    }
    // The block's rows are those between its first and last key in order,
    // and each row whose key the host wrote, by that key.
    std::unordered_map<std::string, size_t> slotOf;
    std::vector<std::string> renamedKeys;
    size_t low = last + 1, high = first;
    for (size_t row = first; row <= last; ++row) {
        std::string key = KeyAt(row);
        const auto renamed = renamed_.find(key);
        if (renamed != renamed_.end() && renamed->second == row) {
            renamedKeys.push_back(key);
        } else {
            low = std::min(low, row);
            high = row;
        }
        slotOf.emplace(std::move(key), row - first);
    }
    CText sql = SelectHead();
    Parameters params;
    sql.Append(" WHERE (");
    const char* joint = "";
    if (low <= last) {
        AppendOrderCondition(sql, ">=", KeyAt(low), params);
        sql.Append(" AND ");
        AppendOrderCondition(sql, "<=", KeyAt(high), params);
        joint = " OR ";
    }
    for (const std::string& key : renamedKeys) {
        sql.Append(joint);
        AppendKeyEquals(sql, key, params);
        joint = " OR ";
    }
    sql.Append(")");
    AppendOrderBy(sql, false);
    const OwnStatement statement(record_.Database->ConnectionHandle);
    if (!statement) record_.ThrowError(SQL_ERROR);
    // One row at a time into a staging row; those in the keyset go to their
    // slots, rows inserted among them since are passed over.
    std::vector<BlockColumn> staging = NewBlockColumns();
    BindBlockColumns(statement.Handle(), staging, 1);
    Execute(statement.Handle(), sql, params);
    blockFirst_ = first;
    slots_.assign(last - first + 1, -1);
    SQLUSMALLINT status = 0;
    std::string key;
    try {
        for (;;) {
            SQLULEN fetched = 0;
            const SQLRETURN rc = RepeatWhileExecuting(
                [&] { return SQLExtendedFetch(statement.Handle(), SQL_FETCH_NEXT, 0, &fetched, &status); });
            if (rc == SQL_NO_DATA) break;
            if (!SQL_SUCCEEDED(rc)) record_.ThrowError(rc, statement.Handle());
            KeyOfFetchedRow(staging, 0, false, key);
            const auto slot = slotOf.find(key);
            if (slot == slotOf.end()) continue;
            for (size_t c = 0; c < staging.size(); ++c) {
                BlockColumn& column = block_[c];
                std::memcpy(column.data.data() + slot->second * static_cast<size_t>(column.width),
                            staging[c].data.data(), static_cast<size_t>(column.width));
                column.indicators[slot->second] = staging[c].indicators[0];
            }
            slots_[slot->second] = static_cast<int32_t>(slot->second);
        }
    } catch (...) {
        slots_.clear();  // a block half read holds no row: the next move reads it again
        throw;
    }
}

void OwnKeysetCursor::CopyRowToRecord(size_t slot) {
    const auto row = static_cast<size_t>(slots_[slot]);
    const uint32_t listed = record_.ListedCount();
    for (uint32_t c = 0; c < listed; ++c) {
        const BlockColumn& column = block_[c];
        ColumnRecord& target = record_.ColumnRecords[c];
        const SQLLEN indicator = column.indicators[row];
        target.Indicator = indicator;
        if (indicator == SQL_NULL_DATA) continue;
        // A value the bound storage cannot hold: as the driver's own
        // cursor refuses it.
        if (indicator == SQL_NO_TOTAL || indicator >= column.width || indicator >= target.BoundBytes) {
            record_.ThrowError(ErrorDataTruncated);
        }
        std::memcpy(target.BoundBuffer, column.At(row), static_cast<size_t>(indicator));
        target.BoundBuffer[indicator] = '\0';
    }
}

SQLRETURN OwnKeysetCursor::Fetch(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched, SQLUSMALLINT* status) {
    rowsFetched = 0;
    int64_t target = -1;
    bool forward = true;
    switch (fetchType) {
        case SQL_FETCH_NEXT:
            target = position_ + 1;
            break;
        case SQL_FETCH_PRIOR:
            ReadKeysThrough(position_);
            target = position_ - 1;
            forward = false;
            break;
        case SQL_FETCH_FIRST:
            target = 0;
            break;
        case SQL_FETCH_LAST:
            ReadKeysThrough(INT64_MAX);
            target = static_cast<int64_t>(keys_.Size()) - 1;
            forward = false;
            break;
        case SQL_FETCH_ABSOLUTE:
            if (rows < 0) {
                ReadKeysThrough(INT64_MAX);
                target = static_cast<int64_t>(keys_.Size()) + rows;
            } else {
                target = static_cast<int64_t>(rows) - 1;
            }
            break;
        case SQL_FETCH_RELATIVE:
            target = position_ + rows;
            forward = rows >= 0;
            break;
        default:
            record_.ThrowError(SQL_ERROR);
    }
    if (target >= 0) ReadKeysThrough(target);
    const auto count = static_cast<int64_t>(keys_.Size());
    if (target < 0) {
        position_ = -1;
        return SQL_NO_DATA_FOUND;
    }
    if (target >= count) {
        position_ = count;
        return SQL_NO_DATA_FOUND;
    }
    const auto row = static_cast<size_t>(target);
    if (row < blockFirst_ || row >= blockFirst_ + slots_.size()) ReReadBlock(target, forward);
    position_ = target;  // once the row is at hand: a failed read moves nowhere
    rowsFetched = 1;
    const size_t slot = row - blockFirst_;
    if (slots_[slot] < 0) {
        if (status != nullptr) status[0] = SQL_ROW_DELETED;
        return SQL_SUCCESS;
    }
    CopyRowToRecord(slot);
    if (status != nullptr) status[0] = SQL_ROW_SUCCESS;
    return SQL_SUCCESS;
}

SQLRETURN OwnKeysetCursor::ReadForm(SQLUSMALLINT column, KeyForm form, KeyValue& value) const {
    value = KeyValue{};
    if (position_ < 0 || static_cast<size_t>(position_) < blockFirst_ ||
        static_cast<size_t>(position_) - blockFirst_ >= slots_.size() || column == 0 || column > block_.size()) {
        return SQL_ERROR;
    }
    const int32_t row = slots_[static_cast<size_t>(position_) - blockFirst_];
    if (row < 0) return SQL_ERROR;
    const BlockColumn& stored = block_[column - 1];
    const SQLLEN indicator = stored.indicators[static_cast<size_t>(row)];
    value.IsNull = indicator == SQL_NULL_DATA;
    if (value.IsNull) return SQL_SUCCESS;
    if (stored.cType == SQL_C_DOUBLE) {
        return DoubleKeyValue(*reinterpret_cast<const double*>(stored.At(static_cast<size_t>(row))), value)
                   ? SQL_SUCCESS
                   : SQL_ERROR;
    }
    if (indicator >= stored.width) return SQL_ERROR;
    value.Form.assign(stored.At(static_cast<size_t>(row)), static_cast<size_t>(indicator));
    return ParseKeyForm(form, value) ? SQL_SUCCESS : SQL_ERROR;
}

void OwnKeysetCursor::RenameCurrentRow(SQLHSTMT statement, const std::vector<std::optional<std::string>>& texts) {
    if (position_ < 0 || static_cast<size_t>(position_) >= keys_.Size()) return;
    std::string key;
    for (const OrderColumn& order : order_) {
        if (order.listedField < 0) {
            SQLLEN indicator = 0;
            if (order.kind == OrderKind::Double) {
                double real = 0;
                if (!SQL_SUCCEEDED(SQLGetData(statement, order.resultColumn, SQL_C_DOUBLE, &real, 0, &indicator))) {
                    return;
                }
                AppendKeyPart(key, reinterpret_cast<const char*>(&real), sizeof real);
            } else {
                int64_t whole = 0;
                if (!SQL_SUCCEEDED(SQLGetData(statement, order.resultColumn, SQL_C_SBIGINT, &whole, 0, &indicator))) {
                    return;
                }
                AppendKeyPart(key, reinterpret_cast<const char*>(&whole), sizeof whole);
            }
            continue;
        }
        const std::optional<std::string>& text = texts[static_cast<size_t>(order.listedField)];
        if (!text || !AppendTextValue(key, order.kind, text->data(), text->size())) return;
    }
    const auto row = static_cast<size_t>(position_);
    const std::string old = KeyAt(row);
    if (key == old) return;
    const auto before = renamed_.find(old);
    if (before != renamed_.end() && before->second == row) renamed_.erase(before);  // one key a row
    renamed_[key] = row;
    keys_.Replace(row, key);
}

}  // namespace vordex
