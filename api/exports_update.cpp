// The exports that write one field of the current row.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "api/guarded_call.h"
#include "api/library_state.h"
#include "platform/code_page.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

/// The record's bound text storage holds this many bytes.
constexpr size_t kValueCapacity = 255;

/// The value cut to the column's catalog length and to the bound storage, at
/// the last whole character that fits: a cut inside a multibyte character
/// would send the data source an invalid string.
CText CutToColumn(const char* value, int index) {
    const size_t length = std::strlen(value);
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
    const CText cut = CutToColumn(value, index);
    if (activeRecord->UpdateAllowed != 1) return 0;
    return GuardedCall(0, [index, &cut] {
        activeRecord->Edit();
        activeRecord->Values[index] = cut;
        activeRecord->Update();  // false when nothing changed: nothing to write
        return 1;
    });
}

}  // extern "C"
