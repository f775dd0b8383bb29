#pragma once

#include "db/database.h"
#include "db/recordset.h"

namespace vordex {

/// The result sets of this library ask for keyset-driven cursors. A driver
/// that reads results in blocks keeps no keys, and says so: it offers no
/// keyset-driven cursor. Its static cursor is a scroll cursor on the server
/// over one snapshot of the result, so row numbers stay put for Seek and
/// every row is still written back by its own identity, while the client
/// holds one block of rows whatever the table's size. So there `set` asks
/// for that static cursor instead. The cursor kind is still checked against
/// what the driver offers, and the concurrency it grants is examined after
/// execution as for any result set. Call it once the connection is made.
inline void ChooseServerCursorWhenReadingInBlocks(CRecordset& set) {
    if (set.OpenType == KeysetCursor && set.Database != nullptr && set.Database->ReadsInBlocks()) {
        set.OpenType = StaticCursor;
    }
}

}  // namespace vordex
