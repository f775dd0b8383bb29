// The exports that write one field of the current row.
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "api/guarded_call.h"
#include "api/library_state.h"
#include "api/show_message.h"
#include "db/library_messages.h"
#include "platform/code_page.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

/// The record's bound text storage holds this many bytes.
constexpr size_t kValueCapacity = 255;

bool IsCharacterType(int32_t sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return true;
        default:
            return false;
    }
}

/// The value to write into field `index`. Text for a character column is cut
/// to the column's catalog length and to the bound storage, at the last whole
/// character that fits (a cut inside a multibyte character would send an
/// invalid string). Any other value goes as it is, for the driver and server
/// to take or refuse: a number or a date cut short is another value.
CText ValueForColumn(const char* value, int index) {
    const size_t length = std::strlen(value);
    if (!IsCharacterType(fieldTypes[index])) return CText(value, length);
    const auto catalogLength = static_cast<size_t>(static_cast<uint32_t>(fieldLengths[index]));
    const size_t limit = std::min(catalogLength, kValueCapacity);
    if (length <= limit) return CText(value, length);
    return CText(value, platform::WholeCharacterPrefix(value, limit, platform::HostCodePage()));
}

bool IsUpdatableField(int index) { return activeRecord && IsListIndex(index, fieldListCount); }

}  // namespace

extern "C" {

VORDEX_API int VORDEX_CanUpdate(int index) { return IsUpdatableField(index) ? activeRecord->UpdateAllowed : 0; }

VORDEX_API int VORDEX_Update(int index, const char* value) {
    if (!IsUpdatableField(index) || value == nullptr) return 0;
    const CText written = ValueForColumn(value, index);
    if (activeRecord->UpdateAllowed != 1) return 0;
    // Only character values are cut; anything else that does not fit the
    // bound storage is refused rather than stored as another value.
    if (written.Length() > kValueCapacity) {
        ShowLibraryMessage(MessageValueTooLong);
        return 0;
    }
    return GuardedCall(
        0,
        [index, &written] {
            activeRecord->Edit();
            activeRecord->Values[index] = written;
            activeRecord->Update();  // false when nothing changed: nothing to write
            return 1;
        },
        // A refused write leaves the record showing what the table holds.
        [] { activeRecord->CancelUpdate(); });
}

}  // extern "C"
