// The exports that open a table and read its rows.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "api/guarded_call.h"
#include "api/library_call.h"
#include "api/library_state.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

/// True when a record is open and stands on a row it holds. Past the end, or
/// after a failed move, the members keep bytes that are no row of the table.
bool OnRow() { return activeRecord && activeRecord->HasCurrentRow(); }

/// The current row's value of field `index`, or null when there is no current
/// row or the index is not one of the listed fields.
const CText* FieldValue(int index) {
    if (!OnRow() || !IsListIndex(index, fieldListCount)) return nullptr;
    return &activeRecord->Values[index];
}

/// Rows written through SQLSetPos go in statements that the driver composes
/// from the names; a name it cannot quote safely makes the record read-only.
/// The library's own statements quote every name and stay allowed.
void RefuseDriverComposedWrites() {
    if (activeRecord->UpdateBySql || !fieldListNamesUnsafe) return;
    activeRecord->UpdateAllowed = 0;
    activeRecord->AppendAllowed = 0;
}

/// Copies `length` bytes (from sizeof(Word) to twice that) from `from` to
/// `out` as two words that overlap in the middle, with no call.
template <class Word>
inline void CopyTwoWords(char* out, const char* from, size_t length) {
    Word head = 0, tail = 0;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + length - sizeof tail, sizeof tail);
    std::memcpy(out, &head, sizeof head);
    std::memcpy(out + length - sizeof tail, &tail, sizeof tail);
}

/// Copies `length` bytes from `from` to `out`, no byte more either way. Most
/// values are short: up to 16 bytes they go without a call.
inline void CopyValue(char* out, const char* from, size_t length) {
    if (length > 16) {
        std::memcpy(out, from, length);
    } else if (length >= 8) {
        CopyTwoWords<uint64_t>(out, from, length);
    } else if (length >= 4) {
        CopyTwoWords<uint32_t>(out, from, length);
    } else {
        for (size_t k = 0; k < length; ++k) out[k] = from[k];
    }
}

int MoveActiveRecord(int32_t rows, SQLUSMALLINT fetchType) {
    if (!activeRecord) return 0;
    return GuardedCall(0, [rows, fetchType] {
        activeRecord->Move(rows, fetchType);
        return 1;
    });
}

}  // namespace

extern "C" {

VORDEX_API int VORDEX_CALL VORDEX_OpenRec(void) {
    const LibraryCall call;
    if (activeRecord) return 1;
    const int result = GuardedCall(
        0,
        [] {
            activeRecord = std::make_unique<CMyRec>(activeDatabase.get());
            activeRecord->FieldCount = static_cast<uint32_t>(fieldListCount);
            activeRecord->TableName = activeTable;
            activeRecord->TableOwner = activeOwner;
            activeRecord->FieldNameList = fieldNames;
            activeRecord->FieldTypeList = fieldTypes;
            activeRecord->Open(KeysetCursor, nullptr, 0);
            if (activeRecord->IsOpen()) {
                RefuseDriverComposedWrites();
                return 1;
            }
            activeRecord.reset();
            return 0;
        },
        [] { CloseActiveRecord(); });
    if (!activeRecord) CloseConnection();
    return result;
}

VORDEX_API void VORDEX_CALL VORDEX_CloseRec(void) {
    const LibraryCall call;
    CloseActiveRecord();
}

VORDEX_API int VORDEX_CALL VORDEX_IsEOF(void) {
    const LibraryCall call;
    return activeRecord ? activeRecord->AtEnd : 1;
}

VORDEX_API int VORDEX_CALL VORDEX_MoveNext(void) {
    const LibraryCall call;
    return MoveActiveRecord(1, SQL_FETCH_NEXT);
}

VORDEX_API int VORDEX_CALL VORDEX_Seek(int row) {
    const LibraryCall call;
    // Rows count from 0: ODBC would take a negative number from the end.
    if (row < 0) return 0;
    // ODBC counts rows from 1; the last int row stays past any real end.
    return MoveActiveRecord(row == INT_MAX ? INT_MAX : row + 1, SQL_FETCH_ABSOLUTE);
}

VORDEX_API const char* VORDEX_CALL VORDEX_GetData(int index) {
    const LibraryCall call;
    const CText* value = FieldValue(index);
    return value != nullptr ? value->c_str() : kEmptyText;
}

VORDEX_API int VORDEX_CALL VORDEX_ListText(char* buffer, int size) {
    const LibraryCall call;
    if (!activeRecord || buffer == nullptr || size < 1) return 0;
    if (!OnRow()) {
        buffer[0] = '\0';
        return 0;
    }
    // Each value needs room for itself, its separator and the final NUL.
    char* out = buffer;
    char* const end = buffer + size;
    // The fields that FieldValue answers for, counted once per call.
    const int count = std::min<int>(fieldListCount, kListLimit);
    const CText* values = activeRecord->Values;
    int listed = 0;
    for (; listed < count; ++listed) {
        const CText& value = values[listed];
        const size_t length = value.Length();
        if (length + 2 >= static_cast<size_t>(end - out)) break;
        CopyValue(out, value.c_str(), length);
        out[length] = '\x1E';
        out += length + 1;
    }
    *out = '\0';
    return listed < count ? size : listed;
}

}  // extern "C"
