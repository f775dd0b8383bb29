#pragma once

#include "db/database.h"
#include "db/recordset.h"

namespace vordex {

/// True for psqlODBC ("psqlodbca.so", "psqlodbcw.so", "PSQLODBC35W.DLL"...).
bool IsPsqlOdbc(const CDatabase& database);

/// The result sets of this library ask for keyset-driven cursors. Two cases
/// get the static cursor instead; the cursor kind is still checked against
/// what the driver offers, and the concurrency it grants is examined after
/// execution as for any result set. Call it once the connection is made.
///
/// - A driver that offers no keyset-driven cursor but a static one (the
///   SQLite and MariaDB drivers: SQL_SCROLL_OPTIONS answers forward-only and
///   static). A driver with neither is left to fail the cursor check.
/// - psqlODBC, whatever it offers. Its keyset-driven cursor cannot be
///   trusted with a table that others change: it takes a row changed
///   elsewhere for a deleted one and, moved onto such a row by number, hands
///   out the next one instead, and on a run of some dozens of them it
///   crashes the process (13.02). Its static cursor is one snapshot of the
///   result, whose row numbers stay put and whose rows are still written
///   back by their own identity, a write to a row changed since it was read
///   being refused; in block-reading mode it is a scroll cursor on the
///   server, so the client holds one block of rows whatever the table's
///   size.
void ChooseStaticCursorWhereBetter(CRecordset& set);

}  // namespace vordex
