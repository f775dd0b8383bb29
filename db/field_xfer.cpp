// The field exchange's shared handling: the default work of each pass, and
// saving and restoring a column's value. Counting the fields sits with the
// exchange functions, in xfer_types.cpp.
#include "db/field_xfer.h"

#include "platform/odbc_headers.h"

#include "db/recordset.h"

namespace vordex {
namespace {

ColumnRecord& RecordOf(CRecordset& rs, uint32_t number) { return rs.ColumnRecords[number - 1]; }

bool SavedEquals(const ColumnRecord& record, const void* value) {
    if (record.TypeCode == TypeCodeText) {
        return record.Saved.Text != nullptr && *record.Saved.Text == *static_cast<const CText*>(value);
    }
    return record.Saved.Value == *static_cast<const int32_t*>(value);
}

void AppendMarkerAndBind(CFieldXfer& xfer, uint32_t number, void* value, SQLLEN* indicator, SQLSMALLINT cType,
                         SQLLEN valueLength) {
    CRecordset& rs = xfer.recordset;
    const uint8_t status = FieldStatus(xfer, number);
    if (!(status & FieldChanged)) return;
    *indicator = (status & FieldNull) ? SQL_NULL_DATA : valueLength;
    // A repeated add reuses the statement and its bindings: only the indicators change.
    if (rs.Options & OptRepeatAdd) return;
    xfer.sqlText->Append(xfer.valueMarker != nullptr ? xfer.valueMarker : "?");
    xfer.sqlText->Append(xfer.separator);
    ++xfer.markerCount;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN columnSize = 0;
    SQLSMALLINT digits = 0;
    if (rs.ColumnInfo && number <= static_cast<uint32_t>(rs.ResultColumnCount)) {
        const ColumnInfoEntry& info = rs.ColumnInfo[number - 1];
        sqlType = info.SqlType;
        columnSize = info.Precision;
        digits = info.Scale;
    }
    // Bytes go as bytes, whatever type the column was read as (hex text).
    if (cType == SQL_C_BINARY) sqlType = SQL_VARBINARY;
    SQLRETURN rc = SQLBindParameter(xfer.statement, static_cast<SQLUSMALLINT>(xfer.markerCount), SQL_PARAM_INPUT,
                                    cType, sqlType, columnSize, digits, value, 0, indicator);
    if (rc != SQL_SUCCESS) rs.ThrowError(rc, xfer.statement);
}

void DetectChange(CFieldXfer& xfer, uint32_t number, const void* value) {
    const ColumnRecord& record = RecordOf(xfer.recordset, number);
    uint8_t& status = FieldStatus(xfer, number);
    bool changed;
    if (record.SavedStatus & FieldNull) {
        changed = !(status & FieldNull);
    } else if (status & FieldNull) {
        changed = true;
    } else {
        changed = !SavedEquals(record, value);
    }
    if (changed) status |= FieldChanged;
    if ((xfer.targetField == nullptr || xfer.targetField == value) && (status & FieldChanged)) xfer.fieldFlag = true;
}

}  // namespace

uint8_t& FieldStatus(CFieldXfer& xfer, uint32_t number) {
    CRecordset& rs = xfer.recordset;
    return xfer.fieldKind == kOutputColumns ? rs.ColumnStatus[number - 1] : rs.ParamStatus[number - 1];
}

void DefaultExchange(CFieldXfer& xfer, const char* name, void* value, SQLLEN* indicator, SQLSMALLINT cType,
                     SQLLEN valueLength, SQLULEN precision) {
    CRecordset& rs = xfer.recordset;
    const uint32_t number = xfer.fieldKind == kOutputColumns ? xfer.columnCount : xfer.paramCount;
    switch (xfer.operation) {
        case OpBindParams: {
            *indicator = (FieldStatus(xfer, number) & FieldNull) ? SQL_NULL_DATA : valueLength;
            SQLRETURN rc = SQLBindParameter(xfer.statement, static_cast<SQLUSMALLINT>(number),
                                            static_cast<SQLSMALLINT>(xfer.fieldKind), cType, cType, precision, 0,
                                            value, 0, indicator);
            if (rc != SQL_SUCCESS) rs.ThrowError(rc, xfer.statement);
            rs.ParamIndexMap[value] = static_cast<int>(number);
            break;
        }
        case OpResetParamLengths:
            *indicator = (FieldStatus(xfer, number) & FieldNull) ? SQL_NULL_DATA : valueLength;
            break;
        case OpBindColumns: {
            SQLRETURN rc = SQLBindCol(rs.StatementHandle, static_cast<SQLUSMALLINT>(number), cType, value, valueLength,
                                      indicator);
            if (!rs.Succeeded(rc)) rs.ThrowError(rc);
            rs.ColumnIndexMap[value] = static_cast<int>(number);
            break;
        }
        case OpPrepareSetPos: {
            const uint8_t status = FieldStatus(xfer, number);
            if (!(status & FieldChanged)) {
                *indicator = SQL_IGNORE;  // the driver leaves unchanged columns alone
            } else {
                // A column made null by emptying its text still holds the
                // fetched length: the null must be said here.
                *indicator = (status & FieldNull) ? SQL_NULL_DATA : valueLength;
            }
            break;
        }
        case OpFinishSetPos:
            if (!(FieldStatus(xfer, number) & FieldChanged)) *indicator = valueLength;
            break;
        case OpDetectChanges:
            DetectChange(xfer, number, value);
            break;
        case OpAppendNames:
            if (FieldStatus(xfer, number) & FieldChanged) {
                xfer.sqlText->Append(name);
                xfer.sqlText->Append(xfer.separator);
            }
            break;
        case OpAppendAssignments:
            if (FieldStatus(xfer, number) & FieldChanged) {
                xfer.sqlText->Append(name);
                xfer.sqlText->Append("=");
            }
            AppendMarkerAndBind(xfer, number, value, indicator, cType, valueLength);
            break;
        case OpAppendValues:
            AppendMarkerAndBind(xfer, number, value, indicator, cType, valueLength);
            break;
        case OpSaveCopies:
            SaveCopy(rs, number, value);
            break;
        case OpRestoreCopies:
            RestoreCopy(rs, number, value, indicator);
            break;
        default:  // 5, 6, 11 and 14 belong to each exchange function; 15 and 16 to rowset listings
            break;
    }
}

void SaveCopy(CRecordset& rs, uint32_t number, const void* value) {
    ColumnRecord& record = RecordOf(rs, number);
    record.SavedStatus = rs.ColumnStatus[number - 1];
    if (record.SavedStatus & FieldNull) return;
    if (record.TypeCode == TypeCodeText) {
        if (record.Saved.Text != nullptr) *record.Saved.Text = *static_cast<const CText*>(value);
    } else if (record.TypeCode == TypeCodeInt || record.TypeCode == TypeCodeLong) {
        record.Saved.Value = *static_cast<const int32_t*>(value);
    }
}

void RestoreCopy(CRecordset& rs, uint32_t number, void* value, SQLLEN* indicator) {
    ColumnRecord& record = RecordOf(rs, number);
    uint8_t& status = rs.ColumnStatus[number - 1];
    status |= record.SavedStatus;
    const bool isNull = status & FieldNull;
    if (isNull) *indicator = SQL_NULL_DATA;
    if (record.TypeCode == TypeCodeText) {
        auto* text = static_cast<CText*>(value);
        // A null text reads as the empty text, never as a leftover value.
        if (isNull) {
            text->Clear();
        } else if (record.Saved.Text != nullptr) {
            *text = *record.Saved.Text;
            *indicator = static_cast<SQLLEN>(text->Length());
        }
    } else if (record.TypeCode == TypeCodeInt || record.TypeCode == TypeCodeLong) {
        auto* number32 = static_cast<int32_t*>(value);
        if (isNull) {
            *number32 = record.TypeCode == TypeCodeInt ? kIntNullMarker : kLongNullMarker;
        } else {
            *number32 = record.Saved.Value;
            *indicator = sizeof(int32_t);
        }
    }
}

}  // namespace vordex
