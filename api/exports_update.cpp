// The exports that write one field of the current row.
#include "api/field_value.h"
#include "api/guarded_call.h"
#include "api/library_call.h"
#include "api/library_state.h"
#include "api/show_message.h"
#include "db/db_exception.h"
#include "db/library_messages.h"
#include "vordex.h"

using namespace vordex;
using namespace vordex::api;

namespace {

bool IsUpdatableField(int index) { return activeRecord && IsListIndex(index, fieldListCount); }

/// After a write that stands: the row as the data source stored it, which
/// may differ from the text given (fractions of a second beyond the
/// column's, a numeric's scale, char padding, a trigger's change). A failure
/// to read it says that the write stands, and why.
void ShowStoredRow() {
    GuardedCall(0, [] {
        try {
            activeRecord->ReadBackWrittenRow();
        } catch (CDBException* e) {
            CText message;
            LoadLibraryMessage(MessageWrittenNotReadAgain, message);
            CText reason = !e->ErrorText.IsEmpty() ? e->ErrorText : e->StateText;
            if (reason.IsEmpty()) LoadLibraryMessage(MessageUnrecoverableError, reason);
            message.Append(reason);
            e->ErrorText = message;
            throw;
        }
        return 1;
    });
}

}  // namespace

extern "C" {

VORDEX_API int VORDEX_CALL VORDEX_CanUpdate(int index) {
    const LibraryCall call;
    return IsUpdatableField(index) ? activeRecord->UpdateAllowed : 0;
}

VORDEX_API int VORDEX_CALL VORDEX_Update(int index, const char* value) {
    const LibraryCall call;
    if (!IsUpdatableField(index) || value == nullptr) return 0;
    const FieldValue field =
        ValueForField(value, {fieldTypes[index], fieldTypeNames[index].c_str(), fieldLengths[index], fieldSizes[index]});
    if (activeRecord->UpdateAllowed != 1) {
        // Said where the server itself takes no writes; a view, a table
        // without a key and the like are read-only silently.
        if (activeRecord->ReadOnlyMessage != 0) ShowLibraryMessage(activeRecord->ReadOnlyMessage);
        return 0;
    }
    if (field.refusal != 0) {
        ShowLibraryMessage(field.refusal);
        return 0;
    }
    bool wrote = false;
    const int result = GuardedCall(
        0,
        [index, &field, &wrote] {
            // The host deletes no row: one the cursor knows is gone was
            // deleted elsewhere since it was read.
            if (activeRecord->RowDeleted && !activeRecord->AtStart && !activeRecord->AtEnd) {
                activeRecord->ThrowError(ErrorRowStatus);
            }
            activeRecord->Edit();
            activeRecord->Values[index] = field.text;
            wrote = activeRecord->Update();  // false when nothing changed: nothing to write
            return 1;
        },
        // A refused write leaves the record showing what the table holds.
        [] { activeRecord->CancelUpdate(); });
    if (result == 1 && wrote) ShowStoredRow();
    return result;
}

}  // extern "C"
