#pragma once

#include "platform/odbc_headers.h"

namespace vordex {

/// Makes an ODBC call again at once for as long as it answers
/// SQL_STILL_EXECUTING; returns the first other answer.
template <class Call>
SQLRETURN RepeatWhileExecuting(Call&& call) {
    SQLRETURN rc;
    do {
        rc = call();
    } while (rc == SQL_STILL_EXECUTING);
    return rc;
}

}  // namespace vordex
