#pragma once

#include "db/db_exception.h"
#include "db/recordset.h"

/// The ReturnCode of the CDBException that `action` throws, or 0 when it
/// throws nothing.
template <class Action>
SQLRETURN FailureCode(Action&& action) {
    try {
        action();
    } catch (vordex::CDBException* e) {
        const SQLRETURN code = e->ReturnCode;
        e->Delete();
        return code;
    }
    return 0;
}

/// The ReturnCode of the CDBException a move throws, or 0 when it moves.
inline SQLRETURN MoveFails(vordex::CRecordset& rs, int32_t rows, SQLUSMALLINT type) {
    return FailureCode([&] { rs.Move(rows, type); });
}
