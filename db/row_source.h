#pragma once

#include <cstdint>

#include "platform/odbc_headers.h"

namespace vordex {

/// Where a result set's rows come from when not from its statement's own
/// cursor: a cursor of the library's own, which reads the rows with
/// statements of its own and puts each row into the storage the result set
/// bound (ColumnRecord::BoundBuffer, BoundBytes and Indicator).
///
/// Fetch moves as SQLExtendedFetch(fetchType, rows) moves a cursor whose
/// rowset is one row: SQL_FETCH_NEXT from before the first row is the first,
/// SQL_FETCH_PRIOR from past the last is the last, SQL_FETCH_ABSOLUTE counts
/// from 1 (from the end where negative). Past either end it answers
/// SQL_NO_DATA_FOUND and stands there. On a row it answers SQL_SUCCESS, with
/// `status[0]` SQL_ROW_SUCCESS and the row in the bound storage, or
/// SQL_ROW_DELETED for a row known to be gone, whose storage is left as it
/// was. Failures throw, as the result set's own errors do.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual SQLRETURN Fetch(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched, SQLUSMALLINT* status) = 0;
};

}  // namespace vordex
