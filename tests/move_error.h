#pragma once

#include "db/db_exception.h"
#include "db/recordset.h"

/// The ReturnCode of the CDBException a move throws, or 0 when it moves.
inline SQLRETURN MoveFails(vordex::CRecordset& rs, int32_t rows, SQLUSMALLINT type) {
    try {
        rs.Move(rows, type);
    } catch (vordex::CDBException* e) {
        SQLRETURN code = e->ReturnCode;
        e->Delete();
        return code;
    }
    return 0;
}
