// The result set's side of the field exchange: starting passes and keeping
// the per-field bookkeeping.
#include <cstring>
#include <new>

#include "db/exception.h"
#include "db/recordset.h"

namespace vordex {

void CRecordset::ListFields(CFieldXfer& xfer) {
    const uint32_t op = xfer.operation;
    const bool rowsetPass = op == OpBindColumns || op == OpAppendNames || op == OpAllocRowsetBuffers ||
                            op == OpFreeRowsetBuffers;
    if (rowsetPass && (Options & OptMultiRow)) {
        ExchangeRowsetFields(xfer);
    } else {
        ExchangeFields(xfer);
    }
}

uint32_t CRecordset::RunPass(uint32_t operation) {
    CFieldXfer xfer(operation, *this);
    ListFields(xfer);
    return xfer.columnCount;
}

uint32_t CRecordset::RunBindParamsPass(SQLHSTMT statement) {
    CFieldXfer xfer(OpBindParams, *this);
    xfer.statement = statement;
    ListFields(xfer);
    return xfer.paramCount;
}

uint32_t CRecordset::RunAppendPass(uint32_t operation, CText& sql, const char* separator, SQLHSTMT statement,
                                   uint32_t* markers) {
    CFieldXfer xfer(operation, *this);
    xfer.sqlText = &sql;
    xfer.separator = separator;
    xfer.statement = statement;
    ListFields(xfer);
    if (markers != nullptr) *markers = xfer.markerCount;
    return xfer.columnCount;
}

void CRecordset::RunRestoreCopiesPass() {
    if (ColumnStatus) std::memset(ColumnStatus.get(), 0, FieldCount);
    RunPass(OpRestoreCopies);
}

void CRecordset::BindColumns() {
    if (FieldCount == 0) {
        BoundColumnCount = -1;
        return;
    }
    BoundColumnCount = static_cast<int32_t>(RunPass(OpBindColumns));
    if (CheckChanges) RunPass(OpAllocCopies);
}

void CRecordset::AllocFieldState() {
    ClosingOnFailure([&] {
        try {
            if (FieldCount > 0) {
                if (!ColumnRecords) ColumnRecords = std::make_unique<ColumnRecord[]>(FieldCount);
                if (!ColumnStatus) ColumnStatus = std::make_unique<uint8_t[]>(FieldCount);
            }
            if (ParamCount > 0) {
                if (!ParamStatus) ParamStatus = std::make_unique<uint8_t[]>(ParamCount);
                if (!ParamLengths) ParamLengths = std::make_unique<SQLLEN[]>(ParamCount);
            }
        } catch (const std::bad_alloc&) {
            ThrowMemoryException();
        }
    });
}

void CRecordset::FreeSavedCopies() {
    for (uint32_t i = 0; i < FieldCount; ++i) {
        ColumnRecord& record = ColumnRecords[i];
        if (record.TypeCode == TypeCodeText) {
            delete record.Saved.Text;
            record.Saved.Text = nullptr;
        } else {
            record.Saved.Value = 0;
        }
    }
}

int CRecordset::ColumnNumberOf(const void* address) const {
    auto it = ColumnIndexMap.find(address);
    return it == ColumnIndexMap.end() ? -1 : it->second;
}

int CRecordset::ParamNumberOf(const void* address) const {
    auto it = ParamIndexMap.find(address);
    return it == ParamIndexMap.end() ? -1 : it->second;
}

void CRecordset::SetFieldNull(const void* address, bool makeNull) {
    if (address != nullptr) {
        const int param = ParamNumberOf(address);
        if (param > 0) {
            uint8_t& status = ParamStatus[param - 1];
            status = makeNull ? static_cast<uint8_t>(status | FieldNull) : static_cast<uint8_t>(status & ~FieldNull);
            return;
        }
    }
    if (FieldCount == 0 || !ColumnStatus) return;
    CFieldXfer xfer(OpSetNull, *this);
    xfer.targetField = address;
    xfer.fieldFlag = makeNull;
    ListFields(xfer);
}

void CRecordset::SetFieldChanged(const void* address, bool changed) {
    if (!ColumnStatus) return;
    auto apply = [&](uint32_t number) {
        uint8_t& status = ColumnStatus[number - 1];
        status = changed ? static_cast<uint8_t>(status | FieldChanged) : static_cast<uint8_t>(status & ~FieldChanged);
    };
    if (address != nullptr) {
        const int number = ColumnNumberOf(address);
        if (number >= 1 && static_cast<uint32_t>(number) <= FieldCount) apply(static_cast<uint32_t>(number));
        return;
    }
    for (uint32_t number = 1; number <= FieldCount; ++number) apply(number);
}

bool CRecordset::IsFieldChanged(const void* address) {
    if (FieldCount == 0 || EditMode == NotEditing || !ColumnStatus) return false;
    if (CheckChanges) {
        CFieldXfer xfer(EditMode == Editing ? OpDetectChanges : OpMarkForAdd, *this);
        xfer.targetField = address;
        ListFields(xfer);
    }
    if (address != nullptr) {
        const int number = ColumnNumberOf(address);
        return number >= 1 && static_cast<uint32_t>(number) <= FieldCount &&
               (ColumnStatus[number - 1] & FieldChanged) != 0;
    }
    for (uint32_t i = 0; i < FieldCount; ++i) {
        if (ColumnStatus[i] & FieldChanged) return true;
    }
    return false;
}

}  // namespace vordex
