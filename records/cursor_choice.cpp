#include "records/cursor_choice.h"

#include "platform/odbc_headers.h"

#include "db/drivers/driver_profile.h"

namespace vordex {

namespace {

// A failed question counts as "offers nothing": the cursor check that
// follows asks again and reports the failure.
bool OffersStaticButNoKeysetCursor(const CDatabase& database) {
    SQLUINTEGER offered = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(database.ConnectionHandle, SQL_SCROLL_OPTIONS, &offered, sizeof offered, nullptr))) {
        return false;
    }
    return (offered & SQL_SO_STATIC) && !(offered & SQL_SO_KEYSET_DRIVEN);
}

}  // namespace

void ChooseStaticCursorWhereBetter(CRecordset& set) {
    if (set.OpenType != KeysetCursor || set.Database == nullptr || !set.Database->IsConnected()) return;
    if (set.Database->Profile().PrefersStaticCursor() || OffersStaticButNoKeysetCursor(*set.Database)) {
        set.OpenType = StaticCursor;
    }
}

}  // namespace vordex
