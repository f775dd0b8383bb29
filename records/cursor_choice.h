#pragma once

#include "db/database.h"
#include "db/recordset.h"

namespace vordex {

/// The result sets of this library ask for keyset-driven cursors. Two cases
/// get the static cursor instead; the cursor kind is still checked against
/// what the driver offers, and the concurrency it grants is examined after
/// execution as for any result set. Call it once the connection is made.
///
/// - A driver that offers no keyset-driven cursor but a static one (the
///   SQLite and MariaDB drivers: SQL_SCROLL_OPTIONS answers forward-only and
///   static). A driver with neither is left to fail the cursor check.
/// - A driver whose profile prefers the static cursor (psqlODBC's, whatever
///   it offers: see its profile).
void ChooseStaticCursorWhereBetter(CRecordset& set);

}  // namespace vordex
