// Fetching and navigation: Move and its steps.
#include "platform/odbc_headers.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_call.h"
#include "db/recordset.h"

namespace vordex {
namespace {

bool SkipsDeletedRows(uint32_t options, SQLUSMALLINT fetchType, int32_t rows) {
    if (!(options & OptSkipDeleted)) return false;
    switch (fetchType) {
        case SQL_FETCH_NEXT:
        case SQL_FETCH_FIRST:
        case SQL_FETCH_LAST:
        case SQL_FETCH_PRIOR:
            return true;
        case SQL_FETCH_RELATIVE:
            // A relative move by 0 fetches the current row again, deleted or not.
            return rows != 0;
        default:
            return false;
    }
}

SQLUSMALLINT StepType(SQLUSMALLINT fetchType, int32_t rows) {
    switch (fetchType) {
        case SQL_FETCH_FIRST:
            return SQL_FETCH_NEXT;
        case SQL_FETCH_LAST:
            return SQL_FETCH_PRIOR;
        case SQL_FETCH_RELATIVE:
            return rows > 0 ? SQL_FETCH_NEXT : SQL_FETCH_PRIOR;
        default:
            return fetchType;
    }
}

}  // namespace

void CRecordset::Move(int32_t rows, SQLUSMALLINT fetchType) {
    // The first move after execution binds the columns. A closed result set
    // has nothing to bind: the move below fails as at both ends.
    if (BoundColumnCount == 0 && StatementHandle != nullptr) {
        BindColumns();
        ResetPosition();
    }
    if (BoundColumnCount > 0) {
        if (ColumnStatus) std::memset(ColumnStatus.get(), 0, FieldCount);
        EditMode = NotEditing;  // a move abandons an edit or add without writing
    }
    CheckMove(fetchType, rows);

    // Set until the fetch has been judged and its values taken: a refused
    // fetch, or a value the members cannot hold, leaves the cursor on a row
    // the members do not hold.
    FetchFailed = 1;
    SQLRETURN rc;
    if (SkipsDeletedRows(Options, fetchType, rows)) {
        FetchSkippingDeleted(fetchType, rows, RowsFetched, rc);
    } else {
        rc = FetchRow(fetchType, rows, RowsFetched);
    }
    AfterFetch(rc, fetchType, rows, RowsFetched);

    if (FieldCount > 0 && !AtEnd && !AtStart && !(Options & OptMultiRow)) FixUpFetchedRow();
    FetchFailed = 0;
}

void CRecordset::CheckMove(SQLUSMALLINT fetchType, int32_t rows) {
    if (fetchType == SQL_FETCH_NEXT && !AtEnd) return;  // on to the next row, from a row or the start
    if (!Scrollable && fetchType != SQL_FETCH_NEXT) ThrowError(ErrorNoExtendedFetch);
    if (AtEnd && AtStart) ThrowError(ErrorNoRowInDirection);
    // A dynamic cursor may move past either end: rows can appear there.
    if (OpenType == DynamicCursor) return;
    const bool forward = fetchType == SQL_FETCH_NEXT || (fetchType == SQL_FETCH_RELATIVE && rows > 0);
    const bool backward = fetchType == SQL_FETCH_PRIOR || (fetchType == SQL_FETCH_RELATIVE && rows < 0);
    if ((AtEnd && forward) || (AtStart && backward)) ThrowError(ErrorNoRowInDirection);
}

SQLRETURN CRecordset::FetchRow(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched) {
    SQLRETURN rc;
    if (OpenType == ForwardOnly && !(Options & OptExtendedFetch)) {
        rc = RepeatWhileExecuting([&] { return SQLFetch(StatementHandle); });
        rowsFetched = 1;
        RowDeleted = 0;
    } else {
        SQLUSMALLINT* status = RowStatus.get();
        if (Source) {
            rc = Source->Fetch(fetchType, rows, rowsFetched, status);
        } else {
            rc = RepeatWhileExecuting(
                [&] { return SQLExtendedFetch(StatementHandle, fetchType, rows, &rowsFetched, status); });
        }
        RowDeleted = status != nullptr && status[0] == SQL_ROW_DELETED;
    }
    CheckFetchResult(rc);
    return rc;
}

void CRecordset::FetchSkippingDeleted(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched, SQLRETURN& rc) {
    int64_t remaining = std::llabs(static_cast<int64_t>(rows));
    const SQLUSMALLINT step = StepType(fetchType, rows);
    const bool relative = fetchType == SQL_FETCH_RELATIVE;

    // A relative move counts the rows that are not deleted; the others are
    // complete on the first row that is not deleted.
    auto complete = [&] {
        if (RowDeleted) return false;
        if (!relative) return true;
        return --remaining <= 0;
    };
    rc = FetchRow(relative ? step : fetchType, 1, rowsFetched);
    bool done = complete();
    while (!done && rc != SQL_NO_DATA_FOUND) {
        rc = FetchRow(step, 1, rowsFetched);
        done = complete();
    }
}

void CRecordset::CheckFetchResult(SQLRETURN rc) {
    if (rc == SQL_SUCCESS) return;  // a row, whole: the rule for nearly every fetch
    if (rc == SQL_SUCCESS_WITH_INFO) {
        // Look at the warning; most are accepted.
        CDBException warning(rc);
        warning.BuildErrorText(Database, StatementHandle);
        if (warning.HasState("01004")) ThrowError(ErrorDataTruncated);
        if (warning.HasState("01S01")) ThrowError(ErrorRowError);
        return;
    }
    if (!Succeeded(rc)) ThrowError(rc);
    // psqlODBC in its block-reading mode answers a fetch on a lost connection
    // with "no more data" and no diagnostic: only a live connection ends rows.
    if (rc == SQL_NO_DATA_FOUND && Database != nullptr && Database->RowsEndOnlyOnLiveConnection &&
        Database->IsConnectionDead()) {
        ThrowError(ErrorConnectionLost);
    }
}

void CRecordset::AfterFetch(SQLRETURN rc, SQLUSMALLINT fetchType, int32_t rows, SQLULEN) {
    const bool data = rc != SQL_NO_DATA_FOUND;
    auto advance = [&] {
        if (CurrentRecord != -2 && data) CurrentRecord += rows;
    };
    auto extend = [&] {
        if (data && !EndSeen && CurrentRecord != -2) RecordCount = std::max(RecordCount, CurrentRecord + 1);
    };

    int32_t direction = 0;
    switch (fetchType) {
        case SQL_FETCH_NEXT:
            direction = 1;
            advance();
            extend();
            // Running off the end of the rows counted so far makes the count final.
            if (!EndSeen && !data && RecordCount == CurrentRecord + 1) EndSeen = 1;
            break;
        case SQL_FETCH_FIRST:
            direction = 1;
            if (!data) {
                RecordCount = 0;
                CurrentRecord = -2;
            } else {
                CurrentRecord = 0;
            }
            break;
        case SQL_FETCH_LAST:
            direction = -1;
            if (!data) {
                RecordCount = 0;
                CurrentRecord = -2;
            } else {
                CurrentRecord = EndSeen ? RecordCount - 1 : -2;
            }
            break;
        case SQL_FETCH_PRIOR:
            direction = -1;
            // From the end the driver returns the last row, which is current already.
            if (!AtEnd) advance();
            break;
        case SQL_FETCH_ABSOLUTE:
            direction = rows;
            if (!data) {
                CurrentRecord = -2;
            } else if (rows > 0) {
                CurrentRecord = rows - 1;
            } else {
                CurrentRecord = EndSeen ? RecordCount + rows : -2;
            }
            extend();
            break;
        case SQL_FETCH_RELATIVE:
            direction = rows;
            advance();
            extend();
            break;
        case SQL_FETCH_BOOKMARK:
            CurrentRecord = -2;
            break;
        default:
            break;
    }

    if (data) {
        AtStart = 0;
        AtEnd = 0;
    } else if (fetchType == SQL_FETCH_FIRST || fetchType == SQL_FETCH_LAST || fetchType == SQL_FETCH_BOOKMARK) {
        AtStart = 1;
        AtEnd = 1;
    } else {
        AtEnd = direction >= 0;
        AtStart = !AtEnd;
    }
}

}  // namespace vordex
