// A scriptable stand-in for the ODBC driver manager, linked into the unit tests
// in place of libodbc. A test scripts the answers (return codes, info values,
// diagnostics, data sources) and reads back the log of every call.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fake_odbc {

/// One logged call: the function's name and its arguments, formatted.
struct Call {
    std::string function;
    std::string arguments;
};

/// A diagnostic record handed out by SQLError.
struct Diagnostic {
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

/// Forgets every script and the call log; handles start afresh.
void Reset();

/// The next `times` calls of `function` answer `rc` (before doing anything).
/// A function without a queued answer succeeds.
void QueueReturn(const std::string& function, SQLRETURN rc, int times = 1);

/// Like QueueReturn; each time the answer is given, `records` become the
/// diagnostics that SQLError hands out next (replacing any still pending).
void QueueFailure(const std::string& function, SQLRETURN rc, const std::vector<Diagnostic>& records, int times = 1);

/// SQLGetInfo answers: a number (16- or 32-bit as the buffer asks), a text,
/// or a failure code.
void SetInfoNumber(SQLUSMALLINT infoType, SQLUINTEGER value);
void SetInfoText(SQLUSMALLINT infoType, const std::string& value);
void FailInfo(SQLUSMALLINT infoType, SQLRETURN rc);

/// The diagnostic records that the next SQLError calls hand out, in order;
/// when none is left SQLError answers SQL_NO_DATA_FOUND.
void QueueDiagnostics(const std::vector<Diagnostic>& records);

/// The completed connect string SQLDriverConnect writes back (default: its input).
void SetCompletedConnect(const std::string& completed);

/// What SQLDataSources lists: name and description.
void SetDataSources(const std::vector<std::pair<std::string, std::string>>& sources);
/// A data source's setting, as SQLGetPrivateProfileString reads it from odbc.ini.
void SetDataSourceSetting(const std::string& dsn, const std::string& key, const std::string& value);

/// A result column as SQLDescribeCol reports it.
struct Column {
    std::string name;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN precision = 255;
    SQLSMALLINT scale = 0;
};

/// A value of a scripted row; nullopt is SQL NULL.
using Value = std::optional<std::string>;

/// The result that the next executed statement yields. Fetches move a cursor
/// over the rows and write them into the bound buffers (as text or 32-bit
/// integers); a text longer than its buffer is cut and reported with 01004.
void SetResult(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows);
/// Results for the next executions and catalog calls, one each, in order;
/// once they are used up, the result of SetResult stays.
void QueueResult(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows);
/// SQLExtendedFetch reports this row (0-based) as SQL_ROW_DELETED.
void MarkRowDeleted(size_t row);

/// The row status SQLSetPos leaves (default: the one its operation should
/// leave); kSetPosLeavesRowStatus: it writes none, as psqlODBC.
constexpr SQLUSMALLINT kSetPosLeavesRowStatus = 0xFFFE;
void SetSetPosRowStatus(SQLUSMALLINT status);
/// What SQLGetCursorName reports (default "SQL_CUR1").
void SetCursorName(const std::string& name);
/// What SQLRowCount reports (default 1).
void SetRowCount(SQLLEN count);
/// The next SQLParamData answers SQL_NEED_DATA with this token (once per call).
void QueueNeedData(SQLPOINTER token);

/// SQLGetFunctions answers (default: every function supported).
void SetFunctionSupported(SQLUSMALLINT function, bool supported);
/// What SQL_ATTR_CONNECTION_DEAD answers (default: alive).
void SetConnectionDead(bool dead);
/// SQLGetStmtOption answers (default: the value last set with SQLSetStmtOption).
void SetStmtOptionAnswer(SQLUSMALLINT option, SQLULEN value);

/// The log of calls since the last Reset.
const std::vector<Call>& Calls();
/// The logged calls of one function.
std::vector<Call> CallsTo(const std::string& function);
int CountCalls(const std::string& function);

/// Handles currently allocated (environment, connection, statement).
int LiveEnvironments();
int LiveConnections();
int LiveStatements();

}  // namespace fake_odbc
