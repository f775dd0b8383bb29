#include "records/cursor_choice.h"

#include "platform/odbc_headers.h"

#include <cctype>

namespace vordex {

bool IsPsqlOdbc(const CDatabase& database) {
    const char* name = database.DriverName.c_str();
    for (const char* prefix = "psqlodbc"; *prefix != '\0'; ++prefix, ++name) {
        if (std::tolower(static_cast<unsigned char>(*name)) != *prefix) return false;
    }
    return true;
}

namespace {

// A failed question counts as "offers nothing": the cursor check that
// follows asks again and reports the failure.
bool OffersStaticButNoKeysetCursor(const CDatabase& database) {
    SQLUINTEGER offered = 0;
    if (!SQL_SUCCEEDED(
            SQLGetInfo(database.ConnectionHandle, SQL_SCROLL_OPTIONS, &offered, sizeof offered, nullptr))) {
        return false;
    }
    return (offered & SQL_SO_STATIC) && !(offered & SQL_SO_KEYSET_DRIVEN);
}

}  // namespace

void ChooseStaticCursorWhereBetter(CRecordset& set) {
    if (set.OpenType != KeysetCursor || set.Database == nullptr || !set.Database->IsConnected()) return;
    if (IsPsqlOdbc(*set.Database) || OffersStaticButNoKeysetCursor(*set.Database)) set.OpenType = StaticCursor;
}

}  // namespace vordex
