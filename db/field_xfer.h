#pragma once

#include "platform/odbc_headers.h"

#include <cstdint>

#include "db/text.h"

namespace vordex {

class CRecordset;

/// Operation codes of a field-exchange pass.
enum FieldXferOperation : uint32_t {
    OpBindParams = 0,
    OpResetParamLengths = 1,
    OpBindColumns = 2,
    OpPrepareSetPos = 3,
    OpFinishSetPos = 4,
    OpFixUpFetched = 5,
    OpMarkForAdd = 6,
    OpDetectChanges = 7,
    OpAppendNames = 8,
    OpAppendAssignments = 9,
    OpAppendValues = 10,
    OpSetNull = 11,
    OpSaveCopies = 12,
    OpRestoreCopies = 13,
    OpAllocCopies = 14,
    OpAllocRowsetBuffers = 15,
    OpFreeRowsetBuffers = 16,
};

/// Bits of a column's (or parameter's) status byte.
enum FieldStatusBit : uint8_t {
    FieldChanged = 0x01,
    FieldNull = 0x02,
};

/// Type codes that select comparison and copy of a saved value.
enum FieldTypeCode : uint32_t {
    TypeCodeInt = 3,
    TypeCodeLong = 4,
    TypeCodeText = 10,
};

/// Value of `fieldKind` while output columns are listed.
constexpr int32_t kOutputColumns = 0;

/// The context of one field-exchange pass; lives on the stack of the operation
/// that starts the pass and owns nothing.
struct CFieldXfer {
    CFieldXfer(uint32_t op, CRecordset& rs) : operation(op), recordset(rs) {}

    uint32_t operation;
    CRecordset& recordset;
    /// 0 = output columns; otherwise parameters, the value being the ODBC
    /// parameter type (SQL_PARAM_INPUT ...). -1 until the listing sets it.
    int32_t fieldKind = -1;
    CText* sqlText = nullptr;
    bool fieldFlag = false;
    const void* targetField = nullptr;
    const char* separator = nullptr;
    /// What stands for the next field's value in a composed statement,
    /// where not the bare "?" (a conversion the column needs around it).
    const char* valueMarker = nullptr;
    uint32_t columnCount = 0;
    uint32_t paramCount = 0;
    uint32_t markerCount = 0;
    SQLHSTMT statement = nullptr;
};

/// Counts the field; true when it takes part in the pass. `number` is its
/// 1-based column or parameter number.
bool NextField(CFieldXfer& xfer, uint32_t& number);

/// The status byte and the length/indicator of the current field (by its kind).
uint8_t& FieldStatus(CFieldXfer& xfer, uint32_t number);
SQLLEN* FieldIndicator(CFieldXfer& xfer, uint32_t number);

/// The handling that every exchange function shares (operations 0-4, 7-10, 12, 13).
/// `value` is the member's address (for text: the storage for 1-4 and 8-10,
/// the text object for 7, 12 and 13).
void DefaultExchange(CFieldXfer& xfer, const char* name, void* value, SQLLEN* indicator, SQLSMALLINT cType,
                     SQLLEN valueLength, SQLULEN precision);

/// Saves / restores one column's value and status byte (operations 12 and 13).
void SaveCopy(CRecordset& rs, uint32_t number, const void* value);
void RestoreCopy(CRecordset& rs, uint32_t number, void* value, SQLLEN* indicator);

/// Exchange functions: one call per field in a result-set class's ExchangeFields.
void XferText(CFieldXfer& xfer, const char* name, CText& value, uint32_t maxLength = 255,
              SQLSMALLINT sqlType = SQL_VARCHAR, SQLSMALLINT scale = 0);
/// A binary column read as hex text, two digits a byte: as XferText,
/// except that a composed statement sends the bytes the text stands for,
/// held in `bytes` while it runs. Text that is no such hex is refused.
void XferHexBinary(CFieldXfer& xfer, const char* name, CText& value, CText& bytes, uint32_t maxLength = 255);
void XferInt(CFieldXfer& xfer, const char* name, int32_t& value);
void XferLong(CFieldXfer& xfer, const char* name, int32_t& value);
/// What XferText does for OpFixUpFetched to each of `count` text output
/// columns in a row, in one loop: for a result-set class whose columns are
/// all text, on the pass that runs for every fetched row.
void FixUpFetchedTexts(CFieldXfer& xfer, CText* values, uint32_t count);

/// Null markers of the integer exchange functions.
constexpr int32_t kIntNullMarker = 32484;
constexpr int32_t kLongNullMarker = 1246576928;

}  // namespace vordex
