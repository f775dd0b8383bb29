#include "fake_odbc.h"

#include <odbcinst.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>

namespace fake_odbc {
namespace {

struct Handle {
    char kind;  // 'E', 'C', 'S'
    bool writes = false;  // a statement whose text is an INSERT, UPDATE or DELETE
};

struct State {
    std::vector<Call> calls;
    struct Answer {
        SQLRETURN rc;
        bool setsDiagnostics;
        std::vector<Diagnostic> diagnostics;
    };
    std::map<std::string, std::deque<Answer>> returns;
    std::map<SQLUSMALLINT, SQLUINTEGER> infoNumbers;
    std::map<SQLUSMALLINT, std::string> infoTexts;
    std::map<SQLUSMALLINT, SQLRETURN> infoFailures;
    std::deque<Diagnostic> diagnostics;
    bool completedSet = false;
    std::string completed;
    std::vector<std::pair<std::string, std::string>> dataSources;
    std::map<std::pair<std::string, std::string>, std::string> dataSourceSettings;
    std::vector<Column> columns;
    std::vector<std::vector<Value>> rows;
    std::vector<bool> deleted;
    std::deque<std::pair<std::vector<Column>, std::vector<std::vector<Value>>>> queuedResults;
    std::map<SQLHSTMT, SQLUSMALLINT*> rowStatus;  // the array of a statement's last SQLExtendedFetch
    std::optional<SQLUSMALLINT> setPosRowStatus;
    std::string cursorName = "SQL_CUR1";
    SQLLEN rowCount = 1;
    std::deque<SQLPOINTER> needDataTokens;
    long position = -1;  // row index; -1 before the first, rows.size() after the last
    std::map<SQLUSMALLINT, size_t> gotten;  // bytes of a column SQLGetData handed out at this row
    struct Binding {
        SQLSMALLINT cType;
        SQLPOINTER buffer;
        SQLLEN bufferLength;
        SQLLEN* indicator;
    };
    using Bindings = std::map<SQLUSMALLINT, Binding>;
    std::map<SQLHSTMT, Bindings> bindings;  // per statement
    std::map<SQLUSMALLINT, bool> functions;
    std::map<SQLUSMALLINT, SQLULEN> stmtOptions;
    std::map<SQLUSMALLINT, SQLULEN> stmtOptionAnswers;
    size_t nextDataSource = 0;
    int environments = 0, connections = 0, statements = 0;
    bool connectionDead = false;
};

State& S() {
    static State state;
    return state;
}

void SetDefaults() {
    State& s = S();
    s.infoNumbers[SQL_ODBC_API_CONFORMANCE] = SQL_OAC_LEVEL1;
    s.infoNumbers[SQL_ODBC_SQL_CONFORMANCE] = SQL_OSC_CORE;
    s.infoNumbers[SQL_POS_OPERATIONS] = SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD;
    s.infoNumbers[SQL_POSITIONED_STATEMENTS] = SQL_PS_POSITIONED_DELETE | SQL_PS_POSITIONED_UPDATE;
    s.infoNumbers[SQL_BOOKMARK_PERSISTENCE] = 0;
    s.infoNumbers[SQL_GETDATA_EXTENSIONS] = 0;
    s.infoTexts[SQL_DATA_SOURCE_READ_ONLY] = "N";
    s.infoTexts[SQL_IDENTIFIER_QUOTE_CHAR] = "\"";
    s.infoTexts[SQL_SEARCH_PATTERN_ESCAPE] = "\\";
    s.infoNumbers[SQL_SCROLL_OPTIONS] = SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_STATIC;
    s.infoNumbers[SQL_SCROLL_CONCURRENCY] = SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_ROWVER | SQL_SCCO_OPT_VALUES;
    s.infoTexts[SQL_ODBC_VER] = "03.52.0000";
}

// Writes the row at the cursor into the bound buffers; true when a text was cut.
bool WriteRow(SQLHSTMT statement) {
    State& s = S();
    bool truncated = false;
    const auto& row = s.rows[static_cast<size_t>(s.position)];
    for (auto& [column, b] : s.bindings[statement]) {
        if (column == 0 || column > row.size()) continue;
        const Value& value = row[column - 1];
        if (!value) {
            if (b.indicator != nullptr) *b.indicator = SQL_NULL_DATA;
            continue;
        }
        if (b.cType == SQL_C_LONG) {
            *static_cast<SQLINTEGER*>(b.buffer) = static_cast<SQLINTEGER>(std::stol(*value));
            if (b.indicator != nullptr) *b.indicator = sizeof(SQLINTEGER);
            continue;
        }
        const size_t room = static_cast<size_t>(b.bufferLength) - 1;
        const size_t n = std::min(value->size(), room);
        std::memcpy(b.buffer, value->data(), n);
        static_cast<char*>(b.buffer)[n] = '\0';
        if (b.indicator != nullptr) *b.indicator = static_cast<SQLLEN>(value->size());
        truncated = truncated || value->size() > room;
    }
    return truncated;
}

// Moves the cursor as the fetch type says and delivers the row there.
SQLRETURN FetchAt(SQLHSTMT statement, SQLUSMALLINT fetchType, SQLLEN offset, SQLUSMALLINT* rowStatus) {
    State& s = S();
    const long count = static_cast<long>(s.rows.size());
    long target;
    switch (fetchType) {
        case SQL_FETCH_NEXT: target = s.position + 1; break;
        case SQL_FETCH_PRIOR: target = s.position - 1; break;
        case SQL_FETCH_FIRST: target = 0; break;
        case SQL_FETCH_LAST: target = count - 1; break;
        case SQL_FETCH_ABSOLUTE: target = offset > 0 ? offset - 1 : offset < 0 ? count + offset : -1; break;
        case SQL_FETCH_RELATIVE: target = s.position + offset; break;
        default: target = s.position; break;
    }
    if (target < 0 || target >= count) {
        s.position = target < 0 ? -1 : count;
        return SQL_NO_DATA_FOUND;
    }
    s.position = target;
    s.gotten.clear();
    if (rowStatus != nullptr) rowStatus[0] = s.deleted[static_cast<size_t>(target)] ? SQL_ROW_DELETED : SQL_ROW_SUCCESS;
    if (!WriteRow(statement)) return SQL_SUCCESS;
    s.diagnostics.push_back({"01004", 0, "[fake]String data, right truncated"});
    return SQL_SUCCESS_WITH_INFO;
}

// Writes and transaction statements run beside the cursor.
void MarkWrites(SQLHSTMT statement, const std::string& text) {
    bool writes = false;
    for (const char* verb : {"INSERT", "UPDATE", "DELETE", "BEGIN", "START", "COMMIT", "ROLLBACK"}) {
        writes = writes || text.rfind(verb, 0) == 0;
    }
    static_cast<Handle*>(statement)->writes = writes;
}

// An execution or catalog call: the next queued result, if any, becomes the
// result; the cursor stands before its first row.
void StartResult(SQLHSTMT statement) {
    State& s = S();
    // A write runs beside the cursor; it neither has nor resets a result.
    if (static_cast<Handle*>(statement)->writes) return;
    if (!s.queuedResults.empty()) {
        SetResult(s.queuedResults.front().first, s.queuedResults.front().second);
        s.queuedResults.pop_front();
    }
    s.position = -1;
}

template <class... Args>
std::string Format(const Args&... args) {
    std::ostringstream out;
    const char* separator = "";
    ((out << separator << args, separator = ","), ...);
    return out.str();
}

// Logs the call and takes its scripted answer, if one is queued.
bool Scripted(const std::string& function, const std::string& arguments, SQLRETURN& rc) {
    State& s = S();
    s.calls.push_back({function, arguments});
    auto it = s.returns.find(function);
    if (it == s.returns.end() || it->second.empty()) return false;
    const State::Answer answer = it->second.front();
    it->second.pop_front();
    rc = answer.rc;
    if (answer.setsDiagnostics) s.diagnostics.assign(answer.diagnostics.begin(), answer.diagnostics.end());
    return true;
}

std::string Text(const SQLCHAR* text, SQLINTEGER length) {
    if (text == nullptr) return "(null)";
    const char* p = reinterpret_cast<const char*>(text);
    return length == SQL_NTS ? std::string(p) : std::string(p, static_cast<size_t>(length));
}

SQLRETURN CopyOut(const std::string& value, SQLCHAR* buffer, SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    if (length != nullptr) *length = static_cast<SQLSMALLINT>(value.size());
    if (buffer != nullptr && bufferLength > 0) {
        size_t n = std::min(value.size(), static_cast<size_t>(bufferLength - 1));
        std::memcpy(buffer, value.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<SQLSMALLINT>(value.size()) >= bufferLength ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

template <class T>
T* Allocate(char kind, int& counter) {
    ++counter;
    return reinterpret_cast<T*>(new Handle{kind});
}

void Release(void* handle, int& counter) {
    if (handle == nullptr) return;
    --counter;
    delete static_cast<Handle*>(handle);
}

}  // namespace

void Reset() {
    S() = State();
    SetDefaults();
}

void QueueReturn(const std::string& function, SQLRETURN rc, int times) {
    for (int i = 0; i < times; ++i) S().returns[function].push_back({rc, false, {}});
}

void QueueFailure(const std::string& function, SQLRETURN rc, const std::vector<Diagnostic>& records, int times) {
    for (int i = 0; i < times; ++i) S().returns[function].push_back({rc, true, records});
}

void SetInfoNumber(SQLUSMALLINT infoType, SQLUINTEGER value) {
    S().infoTexts.erase(infoType);
    S().infoNumbers[infoType] = value;
}

void SetInfoText(SQLUSMALLINT infoType, const std::string& value) {
    S().infoNumbers.erase(infoType);
    S().infoTexts[infoType] = value;
}

void FailInfo(SQLUSMALLINT infoType, SQLRETURN rc) { S().infoFailures[infoType] = rc; }

void QueueDiagnostics(const std::vector<Diagnostic>& records) {
    for (const Diagnostic& d : records) S().diagnostics.push_back(d);
}

void SetCompletedConnect(const std::string& completed) {
    S().completedSet = true;
    S().completed = completed;
}

void SetResult(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows) {
    S().columns = columns;
    S().rows = rows;
    S().deleted.assign(rows.size(), false);
}

void QueueResult(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows) {
    S().queuedResults.emplace_back(columns, rows);
}

void SetSetPosRowStatus(SQLUSMALLINT status) { S().setPosRowStatus = status; }
void SetCursorName(const std::string& name) { S().cursorName = name; }
void SetRowCount(SQLLEN count) { S().rowCount = count; }
void QueueNeedData(SQLPOINTER token) { S().needDataTokens.push_back(token); }

void MarkRowDeleted(size_t row) { S().deleted.at(row) = true; }

void SetFunctionSupported(SQLUSMALLINT function, bool supported) { S().functions[function] = supported; }

void SetConnectionDead(bool dead) { S().connectionDead = dead; }

void SetStmtOptionAnswer(SQLUSMALLINT option, SQLULEN value) { S().stmtOptionAnswers[option] = value; }

void SetDataSources(const std::vector<std::pair<std::string, std::string>>& sources) { S().dataSources = sources; }

void SetDataSourceSetting(const std::string& dsn, const std::string& key, const std::string& value) {
    S().dataSourceSettings[{dsn, key}] = value;
}

const std::vector<Call>& Calls() { return S().calls; }

std::vector<Call> CallsTo(const std::string& function) {
    std::vector<Call> found;
    for (const Call& c : S().calls) {
        if (c.function == function) found.push_back(c);
    }
    return found;
}

int CountCalls(const std::string& function) { return static_cast<int>(CallsTo(function).size()); }

int LiveEnvironments() { return S().environments; }
int LiveConnections() { return S().connections; }
int LiveStatements() { return S().statements; }

}  // namespace fake_odbc

using namespace fake_odbc;

extern "C" {

SQLRETURN SQL_API SQLAllocEnv(SQLHENV* environment) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLAllocEnv", "", rc)) {
        *environment = SQL_NULL_HENV;
        return rc;
    }
    *environment = Allocate<void>('E', S().environments);
    return rc;
}

SQLRETURN SQL_API SQLFreeEnv(SQLHENV environment) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLFreeEnv", "", rc);
    Release(environment, S().environments);
    return rc;
}

SQLRETURN SQL_API SQLAllocConnect(SQLHENV environment, SQLHDBC* connection) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLAllocConnect", Format(environment != nullptr), rc)) {
        *connection = SQL_NULL_HDBC;
        return rc;
    }
    *connection = Allocate<void>('C', S().connections);
    return rc;
}

SQLRETURN SQL_API SQLFreeConnect(SQLHDBC connection) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLFreeConnect", "", rc);
    Release(connection, S().connections);
    return rc;
}

SQLRETURN SQL_API SQLSetConnectOption(SQLHDBC, SQLUSMALLINT option, SQLULEN value) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLSetConnectOption", Format(option, value), rc);
    return rc;
}

SQLRETURN SQL_API SQLGetConnectOption(SQLHDBC, SQLUSMALLINT option, SQLPOINTER value) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLGetConnectOption", Format(option), rc)) return rc;
    if (option == SQL_ATTR_CONNECTION_DEAD) *static_cast<SQLULEN*>(value) = S().connectionDead ? SQL_CD_TRUE : SQL_CD_FALSE;
    return rc;
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outMax, SQLSMALLINT* outLength, SQLUSMALLINT mode) {
    std::string given = Text(in, inLength);
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLDriverConnect", Format(given, mode, window == nullptr ? "nowindow" : "window"), rc)) {
        return rc;
    }
    return CopyOut(S().completedSet ? S().completed : given, out, outMax, outLength);
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLDisconnect", "", rc);
    return rc;
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                             SQLSMALLINT* length) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLGetInfo", Format(infoType), rc)) return rc;
    State& s = S();
    if (auto failure = s.infoFailures.find(infoType); failure != s.infoFailures.end()) return failure->second;
    if (auto text = s.infoTexts.find(infoType); text != s.infoTexts.end()) {
        return CopyOut(text->second, static_cast<SQLCHAR*>(value), bufferLength, length);
    }
    SQLUINTEGER number = s.infoNumbers.count(infoType) ? s.infoNumbers[infoType] : 0;
    if (bufferLength == sizeof(SQLUSMALLINT)) {
        *static_cast<SQLUSMALLINT*>(value) = static_cast<SQLUSMALLINT>(number);
    } else {
        *static_cast<SQLUINTEGER*>(value) = number;
    }
    if (length != nullptr) *length = bufferLength;
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLError(SQLHENV, SQLHDBC, SQLHSTMT statement, SQLCHAR* state, SQLINTEGER* native,
                           SQLCHAR* message, SQLSMALLINT messageMax, SQLSMALLINT* messageLength) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLError", Format(statement != nullptr ? "stmt" : "nostmt", messageMax), rc)) return rc;
    State& s = S();
    if (s.diagnostics.empty()) return SQL_NO_DATA_FOUND;
    Diagnostic d = s.diagnostics.front();
    s.diagnostics.pop_front();
    std::memset(state, 0, 6);
    std::memcpy(state, d.state.data(), std::min<size_t>(d.state.size(), 5));
    *native = d.native;
    return CopyOut(d.message, message, messageMax, messageLength);
}

SQLRETURN SQL_API SQLDataSources(SQLHENV, SQLUSMALLINT direction, SQLCHAR* name, SQLSMALLINT nameMax,
                                 SQLSMALLINT* nameLength, SQLCHAR* description, SQLSMALLINT descriptionMax,
                                 SQLSMALLINT* descriptionLength) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLDataSources", Format(direction), rc)) return rc;
    State& s = S();
    if (direction == SQL_FETCH_FIRST) s.nextDataSource = 0;
    if (s.nextDataSource >= s.dataSources.size()) return SQL_NO_DATA_FOUND;
    const auto& source = s.dataSources[s.nextDataSource++];
    CopyOut(source.first, name, nameMax, nameLength);
    CopyOut(source.second, description, descriptionMax, descriptionLength);
    return SQL_SUCCESS;
}

int INSTAPI SQLGetPrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out, int room, LPCSTR) {
    const auto found = S().dataSourceSettings.find({section, key});
    const std::string value = found != S().dataSourceSettings.end() ? found->second : fallback;
    if (room <= 0) return 0;
    const size_t length = std::min(value.size(), static_cast<size_t>(room - 1));
    std::memcpy(out, value.data(), length);
    out[length] = '\0';
    return static_cast<int>(length);
}

SQLRETURN SQL_API SQLAllocStmt(SQLHDBC, SQLHSTMT* statement) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLAllocStmt", "", rc)) {
        *statement = SQL_NULL_HSTMT;
        return rc;
    }
    *statement = Allocate<void>('S', S().statements);
    return rc;
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT statement, SQLUSMALLINT option) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLFreeStmt", Format(option), rc);
    if (option == SQL_DROP || option == SQL_UNBIND) S().bindings.erase(statement);
    if (option == SQL_DROP) S().rowStatus.erase(statement);
    if (option == SQL_DROP) Release(statement, S().statements);
    return rc;
}

SQLRETURN SQL_API SQLSetStmtOption(SQLHSTMT, SQLUSMALLINT option, SQLULEN value) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLSetStmtOption", Format(option, value), rc)) return rc;
    S().stmtOptions[option] = value;
    return rc;
}

SQLRETURN SQL_API SQLGetStmtOption(SQLHSTMT, SQLUSMALLINT option, SQLPOINTER value) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLGetStmtOption", Format(option), rc)) return rc;
    auto answer = S().stmtOptionAnswers.find(option);
    *static_cast<SQLULEN*>(value) = answer != S().stmtOptionAnswers.end() ? answer->second : S().stmtOptions[option];
    return rc;
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC, SQLUSMALLINT function, SQLUSMALLINT* supported) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLGetFunctions", Format(function), rc)) return rc;
    auto it = S().functions.find(function);
    *supported = it == S().functions.end() || it->second ? SQL_TRUE : SQL_FALSE;
    return rc;
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    SQLRETURN rc = SQL_SUCCESS;
    MarkWrites(statement, Text(text, length));
    Scripted("SQLPrepare", Text(text, length), rc);
    return rc;
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT statement) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLExecute", "", rc)) return rc;
    StartResult(statement);
    return rc;
}

// Catalog calls log their four text arguments ("(null)" for a null pointer)
// and, like an execution, start the scripted result.
static SQLRETURN CatalogCall(SQLHSTMT statement, const char* function, SQLCHAR* a, SQLCHAR* b, SQLCHAR* c, SQLCHAR* d) {
    SQLRETURN rc = SQL_SUCCESS;
    const std::string arguments = Text(a, SQL_NTS) + "," + Text(b, SQL_NTS) + "," + Text(c, SQL_NTS) + "," +
                                  Text(d, SQL_NTS);
    if (Scripted(function, arguments, rc)) return rc;
    StartResult(statement);
    return rc;
}

SQLRETURN SQL_API SQLTables(SQLHSTMT statement, SQLCHAR* qualifier, SQLSMALLINT, SQLCHAR* owner, SQLSMALLINT, SQLCHAR* name,
                            SQLSMALLINT, SQLCHAR* types, SQLSMALLINT) {
    return CatalogCall(statement, "SQLTables", qualifier, owner, name, types);
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT statement, SQLCHAR* qualifier, SQLSMALLINT, SQLCHAR* owner, SQLSMALLINT, SQLCHAR* table,
                             SQLSMALLINT, SQLCHAR* column, SQLSMALLINT) {
    return CatalogCall(statement, "SQLColumns", qualifier, owner, table, column);
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT statement, SQLCHAR* qualifier, SQLSMALLINT, SQLCHAR* owner, SQLSMALLINT,
                                 SQLCHAR* table, SQLSMALLINT) {
    return CatalogCall(statement, "SQLPrimaryKeys", qualifier, owner, table, nullptr);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length) {
    SQLRETURN rc = SQL_SUCCESS;
    MarkWrites(statement, Text(text, length));
    if (Scripted("SQLExecDirect", Text(text, length), rc)) return rc;
    StartResult(statement);
    return rc;
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT, SQLSMALLINT* count) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLNumResultCols", "", rc)) return rc;
    *count = static_cast<SQLSMALLINT>(S().columns.size());
    return rc;
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT nameMax,
                                 SQLSMALLINT* nameLength, SQLSMALLINT* sqlType, SQLULEN* precision,
                                 SQLSMALLINT* scale, SQLSMALLINT* nullable) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLDescribeCol", Format(column), rc)) return rc;
    const Column& c = S().columns.at(column - 1u);
    *sqlType = c.sqlType;
    *precision = c.precision;
    *scale = c.scale;
    *nullable = SQL_NULLABLE;
    return CopyOut(c.name, name, nameMax, nameLength);
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER buffer,
                             SQLLEN bufferLength, SQLLEN* indicator) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLBindCol", Format(column, cType, bufferLength), rc)) return rc;
    S().bindings[statement][column] = {cType, buffer, bufferLength, indicator};
    return rc;
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT, SQLUSMALLINT number, SQLSMALLINT kind, SQLSMALLINT cType,
                                   SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER,
                                   SQLLEN, SQLLEN* indicator) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLBindParameter",
             Format(number, kind, cType, sqlType, columnSize, digits, indicator != nullptr ? *indicator : 0), rc);
    return rc;
}

SQLRETURN SQL_API SQLExtendedFetch(SQLHSTMT statement, SQLUSMALLINT fetchType, SQLLEN offset, SQLULEN* rowCount,
                                   SQLUSMALLINT* rowStatus) {
    SQLRETURN rc = SQL_SUCCESS;
    S().rowStatus[statement] = rowStatus;
    if (Scripted("SQLExtendedFetch", Format(fetchType, offset), rc)) return rc;
    rc = FetchAt(statement, fetchType, offset, rowStatus);
    if (rowCount != nullptr) *rowCount = rc == SQL_NO_DATA_FOUND ? 0 : 1;
    return rc;
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT statement) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLFetch", "", rc)) return rc;
    return FetchAt(statement, SQL_FETCH_NEXT, 1, nullptr);
}

// Columns of the current row: text in parts, as drivers give it, or a double.
SQLRETURN SQL_API SQLGetData(SQLHSTMT, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER buffer, SQLLEN bufferLength,
                             SQLLEN* indicator) {
    State& s = S();
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLGetData", Format(column, cType), rc)) return rc;
    if (s.position < 0 || s.position >= static_cast<long>(s.rows.size())) return SQL_ERROR;
    const auto& row = s.rows[static_cast<size_t>(s.position)];
    if (column == 0 || column > row.size()) return SQL_ERROR;
    const Value& value = row[column - 1];
    if (!value) {
        *indicator = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    if (cType == SQL_C_DOUBLE) {
        *static_cast<double*>(buffer) = std::stod(*value);
        *indicator = sizeof(double);
        return SQL_SUCCESS;
    }
    size_t& from = s.gotten[column];
    if (from > 0 && from >= value->size()) return SQL_NO_DATA;
    const size_t left = value->size() - from;
    const size_t n = std::min(left, static_cast<size_t>(bufferLength) - 1);
    std::memcpy(buffer, value->data() + from, n);
    static_cast<char*>(buffer)[n] = '\0';
    *indicator = static_cast<SQLLEN>(left);
    from += n;
    return n < left ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetPos(SQLHSTMT statement, SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lock) {
    State& s = S();
    // The log shows what the driver would write: each bound column's indicator.
    std::string indicators;
    for (const auto& [column, b] : s.bindings[statement]) {
        indicators += (indicators.empty() ? "" : ",") + std::to_string(b.indicator != nullptr ? *b.indicator : 0);
    }
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLSetPos", Format(row, operation, lock) + "|" + indicators, rc);
    SQLUSMALLINT* rowStatus = s.rowStatus.count(statement) ? s.rowStatus[statement] : nullptr;
    if (rowStatus != nullptr && (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) {
        const SQLUSMALLINT done = operation == SQL_DELETE ? SQL_ROW_DELETED
                                  : operation == SQL_ADD  ? SQL_ROW_ADDED
                                                          : SQL_ROW_UPDATED;
        if (s.setPosRowStatus != kSetPosLeavesRowStatus) rowStatus[0] = s.setPosRowStatus.value_or(done);
    }
    // An update stores the bound values that are not ignored, so that a
    // later fetch of the row reads them.
    const bool onRow = s.position >= 0 && s.position < static_cast<long>(s.rows.size());
    if (operation == SQL_UPDATE && rc == SQL_SUCCESS && onRow) {
        auto& stored = s.rows[static_cast<size_t>(s.position)];
        for (const auto& [column, b] : s.bindings[statement]) {
            if (column == 0 || column > stored.size() || b.indicator == nullptr || *b.indicator == SQL_IGNORE) continue;
            if (*b.indicator == SQL_NULL_DATA) {
                stored[column - 1] = std::nullopt;
            } else {
                stored[column - 1] = b.cType == SQL_C_LONG ? std::to_string(*static_cast<SQLINTEGER*>(b.buffer))
                                                        : std::string(static_cast<const char*>(b.buffer));
            }
        }
    }
    return rc;
}

SQLRETURN SQL_API SQLGetCursorName(SQLHSTMT, SQLCHAR* name, SQLSMALLINT bufferLength, SQLSMALLINT* length) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLGetCursorName", Format(bufferLength), rc)) return rc;
    return CopyOut(S().cursorName, name, bufferLength, length);
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT, SQLLEN* count) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLRowCount", "", rc)) return rc;
    *count = S().rowCount;
    return rc;
}

SQLRETURN SQL_API SQLParamData(SQLHSTMT, SQLPOINTER* token) {
    SQLRETURN rc = SQL_SUCCESS;
    if (Scripted("SQLParamData", "", rc)) return rc;
    State& s = S();
    if (s.needDataTokens.empty()) return SQL_SUCCESS;
    *token = s.needDataTokens.front();
    s.needDataTokens.pop_front();
    return SQL_NEED_DATA;
}

SQLRETURN SQL_API SQLPutData(SQLHSTMT, SQLPOINTER data, SQLLEN length) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLPutData", Format(length) + "|" + std::string(static_cast<const char*>(data), static_cast<size_t>(length)), rc);
    return rc;
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT statement) {
    SQLRETURN rc = SQL_SUCCESS;
    Scripted("SQLCancel", static_cast<Handle*>(statement)->writes ? "write" : "cursor", rc);
    return rc;
}

}  // extern "C"
