#pragma once

#include "platform/odbc_headers.h"

#include "db/exception.h"
#include "db/text.h"

namespace vordex {

class CDatabase;

/// Library error codes carried in CDBException::ReturnCode.
enum LibraryError : SQLRETURN {
    ErrorNoExtendedFetch = 1002,
    ErrorNoOutputColumns = 1003,
    ErrorNotEditing = 1005,
    ErrorTooManyRowsChanged = 1006,
    ErrorNoCurrentRow = 1007,
    ErrorNoRowChanged = 1008,
    ErrorNotUpdatable = 1009,
    ErrorNoKeysetCursor = 1012,
    ErrorNoStaticCursor = 1013,
    ErrorApiConformance = 1014,
    ErrorSqlConformance = 1015,
    ErrorNoRowInDirection = 1016,
    ErrorOdbcVersion = 1018,
    ErrorDataTruncated = 1021,
    ErrorRowError = 1022,
    ErrorRowStatus = 1024,
    ErrorNoDynamicCursor = 1025,
    /// A fetch answered "no more data" on a connection that the driver
    /// reports dead: the end of the rows was not reached.
    ErrorConnectionLost = 1026,
};

/// A failed ODBC call, or a rule of the database layer broken.
class CDBException : public CException {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    explicit CDBException(SQLRETURN code) : ReturnCode(code) {}

    /// Appends the diagnostic records of the connection and statement to
    /// ErrorText (messages) and StateText (state, native error, origin).
    virtual void BuildErrorText(CDatabase* connection, SQLHSTMT statement);

    /// True when one of the diagnostic records carries `sqlState` (5 chars).
    bool HasState(const char* sqlState) const;

    SQLRETURN ReturnCode;
    CText ErrorText;
    CText StateText;
};

/// Makes, fills and throws the exception for a failed call.
[[noreturn]] void ThrowDBError(SQLRETURN code, CDatabase* connection, SQLHSTMT statement);

/// Throws a failure (SQL_ERROR) whose text is the library's message `id`.
[[noreturn]] void ThrowLibraryMessage(unsigned id);
/// The same, its "%d" replaced by `number`.
[[noreturn]] void ThrowLibraryMessage(unsigned id, unsigned number);

/// Throws error 1006 with a text that says how many rows the write would
/// have changed.
[[noreturn]] void ThrowTooManyRowsChanged(SQLLEN count);

/// Codes above 1000 and below 1029 are the library's own.
inline bool IsLibraryErrorCode(SQLRETURN code) { return code > 1000 && code < 1029; }

}  // namespace vordex
