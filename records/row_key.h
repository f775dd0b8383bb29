#pragma once

#include <cstdint>
#include <vector>

#include "db/database.h"
#include "db/text.h"

namespace vordex {

/// True for a driver whose SQLSetPos(SQL_UPDATE) writes every bound column
/// back, SQL_IGNORE or not: the SQLite ODBC driver (0.9998) turns a NULL into
/// '', a blob into the text of its X'..' rendering and a REAL into its
/// 15-digit rendering, in columns the host never changed. Rows of such a
/// driver are written with an UPDATE of the changed columns instead, found by
/// their primary key.
bool SetPosRewritesEveryColumn(const CDatabase& database);

/// The positions in `names` (the first `count` of them) of the primary key
/// columns of `owner`.`table`, in key order; empty when the table has no
/// primary key, a key column is not among the names, or the catalog cannot
/// tell.
std::vector<uint32_t> PrimaryKeyFields(CDatabase& database, const CText& owner, const CText& table,
                                       const CText* names, uint32_t count);

}  // namespace vordex
