#pragma once

#include "platform/odbc_headers.h"

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_call.h"
#include "db/recordset.h"
#include "records/cursor_choice.h"

namespace vordex {

/// The open of a catalog result set: in place of composing and executing a
/// statement, `catalogCall(statement)` runs an ODBC catalog function.
/// `options` are the bits to record (the caller adds OptNoChangeCheck).
template <class CatalogCall>
bool OpenCatalogResult(CRecordset& set, uint32_t openType, uint32_t options, CatalogCall&& catalogCall) {
    set.RecordOpenRequest(openType, nullptr, options);
    if (!set.AllocateStatement()) return false;
    set.ClosingOnFailure([&] {
        ChooseStaticCursorWhereBetter(set);
        set.SetStatementOptions(set.StatementHandle);
        set.AllocFieldState();
        const SQLRETURN rc = RepeatWhileExecuting([&] { return catalogCall(set.StatementHandle); });
        if (!set.Succeeded(rc)) set.ThrowError(rc, set.StatementHandle);
        set.OpenState = 1;
        set.DescribeResultColumns();
        set.AllocateRowStatus();
        set.MoveToFirstRow();
    });
    return true;
}

/// A catalog argument as the driver takes it (converted into `storage`
/// where the code pages differ), or a null pointer when it is empty.
inline SQLCHAR* CatalogArgument(const CDatabase& database, const CText& text, CText& storage) {
    if (text.IsEmpty()) return nullptr;
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(database.CodePages.ForDriver(text, storage).c_str()));
}

}  // namespace vordex
