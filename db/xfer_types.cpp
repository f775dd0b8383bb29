// Exchange functions per data type: text and 32-bit integers.
#include "platform/odbc_headers.h"

#include <algorithm>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/field_xfer.h"
#include "db/hex_text.h"
#include "db/recordset.h"

namespace vordex {
namespace {

bool IsParameterPass(uint32_t operation) { return operation == OpBindParams || operation == OpResetParamLengths; }

// The bodies of NextField and FieldIndicator. The exchange functions below
// run for every field of every fetched row and call these directly, so that
// the compiler inlines them there.

inline bool CountField(CFieldXfer& xfer, uint32_t& number) {
    CRecordset& rs = xfer.recordset;
    // A field beyond the declared count, or listed before the bookkeeping
    // exists (a closed result set), has nothing to work on.
    if (xfer.fieldKind == kOutputColumns) {
        number = ++xfer.columnCount;
        return !IsParameterPass(xfer.operation) && number <= rs.FieldCount && rs.ColumnRecords && rs.ColumnStatus;
    }
    number = ++xfer.paramCount;
    return IsParameterPass(xfer.operation) && number <= rs.ParamCount && rs.ParamLengths && rs.ParamStatus;
}

inline SQLLEN* IndicatorOf(CFieldXfer& xfer, uint32_t number) {
    CRecordset& rs = xfer.recordset;
    return xfer.fieldKind == kOutputColumns ? &rs.ColumnRecords[number - 1].Indicator : &rs.ParamLengths[number - 1];
}

}  // namespace

bool NextField(CFieldXfer& xfer, uint32_t& number) { return CountField(xfer, number); }

SQLLEN* FieldIndicator(CFieldXfer& xfer, uint32_t number) { return IndicatorOf(xfer, number); }

namespace {

// Bytes to bind for a text column: the column's display length when it lies
// between 256 and maxLength, else maxLength.
SQLULEN TextBufferLength(const CRecordset& rs, uint32_t number, uint32_t maxLength) {
    if (!rs.ColumnInfo || number > static_cast<uint32_t>(rs.ResultColumnCount)) return maxLength;
    const ColumnInfoEntry& info = rs.ColumnInfo[number - 1];
    const uint32_t precision = static_cast<uint32_t>(info.Precision);
    uint32_t display;
    switch (info.SqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
            display = precision;
            break;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            display = precision + 2;
            break;
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_TINYINT:
        case SQL_BIGINT:
            display = precision + 1;
            break;
        default:
            display = precision + 10;
            break;
    }
    return display >= 256 && display <= maxLength ? display : maxLength;
}

/// The connection's code pages where it converts texts; null where texts
/// pass as they are.
const CodePagePair* Conversion(const CRecordset& rs) {
    return rs.Database != nullptr && rs.Database->CodePages.Converts() ? &rs.Database->CodePages : nullptr;
}

/// True where the driver's length of a fetched text is the text's own (no
/// zero byte inside it), so the fix-up need not look for the terminator.
bool LengthsReported(const CRecordset& rs) { return rs.Database != nullptr && rs.Database->TextLengthsReported; }

/// A fetched text that is not NULL: its length as the driver gave it where
/// that can be trusted (`reported`), else taken from the terminator; or,
/// where the connection converts, the driver's form in the host's code
/// page. A value the host's code page makes longer than the member holds is
/// refused as a cut one would be.
inline void TakeFetchedText(CRecordset& rs, const CodePagePair* conversion, bool reported, ColumnRecord& record,
                            CText& value) {
    const std::ptrdiff_t length = reported ? record.Indicator : -1;
    if (conversion != nullptr && record.DriverText) {
        CText& fetched = *record.DriverText;
        fetched.SyncLength(length);
        if (!conversion->ToHost(fetched.c_str(), fetched.Length(), value, record.HostLimit)) {
            rs.ThrowError(ErrorDataTruncated);
        }
    } else {
        value.SyncLength(length);  // the driver wrote the terminator; trailing blanks stay
    }
    record.Indicator = static_cast<SQLLEN>(value.Length());
}

// The saved copy is an empty text that was not NULL.
bool HeldEmptyText(const ColumnRecord& record) {
    return !(record.SavedStatus & FieldNull) && record.Saved.Text != nullptr && record.Saved.Text->IsEmpty();
}

bool Targets(const CFieldXfer& xfer, const void* member) {
    return xfer.targetField == nullptr || xfer.targetField == member;
}

void XferInteger(CFieldXfer& xfer, const char* name, int32_t& value, int32_t marker, SQLULEN size,
                 FieldTypeCode typeCode) {
    uint32_t number = 0;
    if (!CountField(xfer, number)) return;
    SQLLEN* indicator = IndicatorOf(xfer, number);
    switch (xfer.operation) {
        case OpFixUpFetched:
            if (*indicator == SQL_NULL_DATA) {
                FieldStatus(xfer, number) |= FieldNull;
                value = marker;
            }
            break;
        case OpMarkForAdd:
            if (value != marker) FieldStatus(xfer, number) = static_cast<uint8_t>((FieldStatus(xfer, number) | FieldChanged) & ~FieldNull);
            break;
        case OpDetectChanges:
            // A member holding the marker leaves the null bit as it was.
            if (value != marker) FieldStatus(xfer, number) &= static_cast<uint8_t>(~FieldNull);
            DefaultExchange(xfer, name, &value, indicator, SQL_C_LONG, sizeof(int32_t), size);
            break;
        case OpSetNull:
            if (!Targets(xfer, &value)) break;
            if (xfer.fieldFlag) {
                FieldStatus(xfer, number) |= FieldNull;
                value = marker;
                *indicator = SQL_NULL_DATA;
            } else {
                FieldStatus(xfer, number) &= static_cast<uint8_t>(~FieldNull);
                *indicator = sizeof(int32_t);
            }
            break;
        case OpAllocCopies:
            xfer.recordset.ColumnRecords[number - 1].TypeCode = typeCode;
            break;
        default:
            DefaultExchange(xfer, name, &value, indicator, SQL_C_LONG, sizeof(int32_t), size);
            break;
    }
}

}  // namespace

void FixUpFetchedTexts(CFieldXfer& xfer, CText* values, uint32_t count) {
    CRecordset& rs = xfer.recordset;
    const uint32_t before = xfer.columnCount;
    xfer.columnCount += count;
    if (!rs.ColumnRecords || !rs.ColumnStatus || before >= rs.FieldCount) return;
    const uint32_t taking = std::min(count, rs.FieldCount - before);
    ColumnRecord* records = &rs.ColumnRecords[before];
    uint8_t* status = &rs.ColumnStatus[before];
    const CodePagePair* conversion = Conversion(rs);
    const bool reported = LengthsReported(rs);
    if (conversion == nullptr && reported) {
        // The common case, once per fetched row: each length as the driver
        // gave it, where its terminator confirms it. A loop of its own: the
        // general one below costs some 50 instructions more a row of ten.
        for (uint32_t i = 0; i < taking; ++i) {
            const SQLLEN indicator = records[i].Indicator;
            if (indicator == SQL_NULL_DATA) {
                status[i] |= FieldNull;
                values[i].Clear();
            } else if (!values[i].TakeLength(indicator)) {
                values[i].SyncLength();
                records[i].Indicator = static_cast<SQLLEN>(values[i].Length());
            }
        }
        return;
    }
    for (uint32_t i = 0; i < taking; ++i) {
        CText& value = values[i];
        if (records[i].Indicator == SQL_NULL_DATA) {
            status[i] |= FieldNull;
            value.Clear();
        } else {
            TakeFetchedText(rs, conversion, reported, records[i], value);
        }
    }
}

void XferText(CFieldXfer& xfer, const char* name, CText& value, uint32_t maxLength, SQLSMALLINT sqlType,
              SQLSMALLINT scale) {
    uint32_t number = 0;
    if (!CountField(xfer, number)) return;
    CRecordset& rs = xfer.recordset;
    SQLLEN* indicator = IndicatorOf(xfer, number);
    switch (xfer.operation) {
        case OpBindParams: {
            // The bound storage must not move while bound: size it once and pin
            // it. Binding again replaces the old binding, so it may move now.
            value.Unpin();
            value.Reserve(maxLength);
            value.Truncate(maxLength);
            value.Pin();
            *indicator = (FieldStatus(xfer, number) & FieldNull) ? SQL_NULL_DATA : SQL_NTS;
            SQLRETURN rc = SQLBindParameter(xfer.statement, static_cast<SQLUSMALLINT>(number),
                                            static_cast<SQLSMALLINT>(xfer.fieldKind), SQL_C_CHAR, sqlType, maxLength,
                                            scale, value.Buffer(), 0, indicator);
            value.SyncLength();
            if (rc != SQL_SUCCESS) rs.ThrowError(rc, xfer.statement);
            rs.ParamIndexMap[&value] = static_cast<int>(number);
            break;
        }
        case OpBindColumns: {
            const SQLULEN bytes = TextBufferLength(rs, number, maxLength) + 1;
            value.Unpin();  // a new binding replaces the old one
            value.Reserve(bytes);
            value.Truncate(bytes);
            value.Pin();
            CText* bound = &value;
            SQLULEN boundBytes = bytes;
            ColumnRecord& record = rs.ColumnRecords[number - 1];
            if (const CodePagePair* conversion = Conversion(rs)) {
                // The driver writes its own code page into storage of its
                // own; each fetch converts that into the member.
                if (!record.DriverText) record.DriverText = std::make_unique<CText>();
                bound = record.DriverText.get();
                boundBytes = conversion->DriverBytes(bytes) + 1;
                bound->Unpin();
                bound->Reserve(boundBytes);
                bound->Pin();
                record.HostLimit = bytes - 1;
            }
            record.BoundBuffer = bound->Buffer();
            record.BoundBytes = static_cast<SQLLEN>(boundBytes);
            SQLRETURN rc = SQLBindCol(rs.StatementHandle, static_cast<SQLUSMALLINT>(number), SQL_C_CHAR,
                                      bound->Buffer(), static_cast<SQLLEN>(boundBytes), indicator);
            value.SyncLength();
            if (!rs.Succeeded(rc)) rs.ThrowError(rc);
            rs.ColumnIndexMap[&value] = static_cast<int>(number);
            break;
        }
        case OpFixUpFetched:
            if (*indicator == SQL_NULL_DATA) {
                FieldStatus(xfer, number) |= FieldNull;
                value.Clear();
            } else {
                TakeFetchedText(rs, Conversion(rs), LengthsReported(rs), rs.ColumnRecords[number - 1], value);
            }
            break;
        case OpMarkForAdd:
            if (!value.IsEmpty()) {
                FieldStatus(xfer, number) = static_cast<uint8_t>((FieldStatus(xfer, number) | FieldChanged) & ~FieldNull);
            }
            break;
        case OpDetectChanges:
            // An empty text counts as null, unless the column held an empty
            // text (not NULL) when the edit began: left as it was, it is no
            // change, and must not be written back as NULL.
            if (value.IsEmpty() && !HeldEmptyText(rs.ColumnRecords[number - 1])) {
                FieldStatus(xfer, number) |= FieldNull;
            } else {
                FieldStatus(xfer, number) &= static_cast<uint8_t>(~FieldNull);
            }
            DefaultExchange(xfer, name, &value, indicator, SQL_C_CHAR, static_cast<SQLLEN>(value.Length()), maxLength);
            break;
        case OpSetNull:
            if (!Targets(xfer, &value)) break;
            if (xfer.fieldFlag) {
                FieldStatus(xfer, number) |= FieldNull;
                value.Clear();
                *indicator = SQL_NULL_DATA;
            } else {
                FieldStatus(xfer, number) &= static_cast<uint8_t>(~FieldNull);
                *indicator = SQL_NTS;
            }
            break;
        case OpSaveCopies:
            SaveCopy(rs, number, &value);
            break;
        case OpRestoreCopies:
            RestoreCopy(rs, number, &value, indicator);
            break;
        case OpAllocCopies: {
            ColumnRecord& record = rs.ColumnRecords[number - 1];
            if (record.TypeCode != TypeCodeText || record.Saved.Text == nullptr) record.Saved.Text = new CText;
            record.TypeCode = TypeCodeText;
            break;
        }
        case OpPrepareSetPos:
        case OpAppendAssignments:
        case OpAppendValues: {
            // The value the driver is given to write: where the connection
            // converts, its driver form, in the storage bound for the column.
            // An unchanged column is neither written nor converted: its
            // stored characters never pass through the host's code page.
            const CodePagePair* conversion = Conversion(rs);
            if (conversion != nullptr && rs.ColumnRecords[number - 1].DriverText) {
                CText& sent = *rs.ColumnRecords[number - 1].DriverText;
                // Never a cut value: a value that does not fit is refused.
                if ((FieldStatus(xfer, number) & FieldChanged) &&
                    !conversion->ToDriver(value.c_str(), value.Length(), sent, sent.Capacity())) {
                    rs.ThrowError(ErrorDataTruncated);
                }
                DefaultExchange(xfer, name, sent.Buffer(), indicator, SQL_C_CHAR, static_cast<SQLLEN>(sent.Length()),
                                maxLength);
                break;
            }
        }
            [[fallthrough]];
        default:
            DefaultExchange(xfer, name, value.Buffer(), indicator, SQL_C_CHAR, static_cast<SQLLEN>(value.Length()),
                            maxLength);
            value.SyncLength();
            break;
    }
}

void XferHexBinary(CFieldXfer& xfer, const char* name, CText& value, CText& bytes, uint32_t maxLength) {
    if (xfer.operation != OpAppendAssignments && xfer.operation != OpAppendValues) {
        XferText(xfer, name, value, maxLength, SQL_VARBINARY, 0);
        return;
    }
    uint32_t number = 0;
    if (!CountField(xfer, number)) return;
    const uint8_t status = FieldStatus(xfer, number);
    std::string decoded;
    if ((status & FieldChanged) && !(status & FieldNull)) {
        if (!DecodeHex(value.c_str(), value.Length(), decoded)) xfer.recordset.ThrowError(SQL_ERROR);
    }
    bytes.Assign(decoded.data(), decoded.size());
    DefaultExchange(xfer, name, bytes.Buffer() != nullptr ? bytes.Buffer() : value.Buffer(),
                    IndicatorOf(xfer, number), SQL_C_BINARY, static_cast<SQLLEN>(bytes.Length()), maxLength);
}

void XferInt(CFieldXfer& xfer, const char* name, int32_t& value) {
    XferInteger(xfer, name, value, kIntNullMarker, 5, TypeCodeInt);
}

void XferLong(CFieldXfer& xfer, const char* name, int32_t& value) {
    XferInteger(xfer, name, value, kLongNullMarker, 10, TypeCodeLong);
}

}  // namespace vordex
