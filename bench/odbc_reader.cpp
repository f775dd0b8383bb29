#include "odbc_reader.h"

#include <strings.h>

#include <sqlext.h>

#include <cstring>
#include <stdexcept>

namespace vordex_bench {
namespace {

// What the library gives every statement and connection.
constexpr SQLULEN kTimeoutSeconds = 15;

SQLCHAR* Sql(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace

OdbcReader::~OdbcReader() { Close(); }

void OdbcReader::Fail(const char* what, SQLHSTMT statement) const {
    std::string message = std::string(what) + " failed";
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[512] = {};
    SQLSMALLINT length = 0;
    while (Ok(SQLError(env_, dbc_, statement, state, &native, text, sizeof text, &length))) {
        message += std::string(": [") + reinterpret_cast<char*>(state) + "] " + reinterpret_cast<char*>(text);
    }
    throw std::runtime_error(message);
}

void OdbcReader::Check(SQLRETURN rc, const char* what, SQLHSTMT statement) const {
    if (!Ok(rc)) Fail(what, statement);
}

SQLUINTEGER OdbcReader::InfoMask(SQLUSMALLINT item, const char* what) const {
    SQLUINTEGER mask = 0;
    Check(SQLGetInfo(dbc_, item, &mask, sizeof mask, nullptr), what);
    return mask;
}

void OdbcReader::Connect(const std::string& connect) {
    Close();
    if (!Ok(SQLAllocEnv(&env_))) throw std::runtime_error("SQLAllocEnv failed");
    Check(SQLAllocConnect(env_, &dbc_), "SQLAllocConnect");
    SQLSetConnectOption(dbc_, SQL_LOGIN_TIMEOUT, kTimeoutSeconds);
    SQLCHAR completed[4096];
    SQLSMALLINT completedLength = 0;
    Check(SQLDriverConnect(dbc_, nullptr, Sql(connect), SQL_NTS, completed, sizeof completed, &completedLength,
                           SQL_DRIVER_NOPROMPT),
          "SQLDriverConnect");
}

std::vector<std::string> OdbcReader::ListColumns(const std::string& table, std::string& owner) {
    SQLHSTMT columns = nullptr;
    Check(SQLAllocStmt(dbc_, &columns), "SQLAllocStmt");
    std::vector<std::string> names;
    SQLRETURN rc = SQLColumns(columns, nullptr, 0, nullptr, 0, Sql(table), SQL_NTS, nullptr, 0);
    if (Ok(rc)) {
        SQLCHAR schema[256] = {};
        SQLCHAR name[256];
        SQLLEN schemaIndicator = 0;
        SQLLEN indicator = 0;
        rc = SQLBindCol(columns, 2, SQL_C_CHAR, schema, sizeof schema, &schemaIndicator);    // TABLE_OWNER
        if (Ok(rc)) rc = SQLBindCol(columns, 4, SQL_C_CHAR, name, sizeof name, &indicator);  // COLUMN_NAME
        while (Ok(rc) && Ok(rc = SQLFetch(columns))) names.emplace_back(reinterpret_cast<char*>(name));
        owner = schemaIndicator > 0 ? reinterpret_cast<char*>(schema) : "";
    }
    if (rc != SQL_NO_DATA) {
        try {
            Fail("SQLColumns", columns);
        } catch (...) {
            SQLFreeStmt(columns, SQL_DROP);
            throw;
        }
    }
    SQLFreeStmt(columns, SQL_DROP);
    if (names.empty()) throw std::runtime_error("SQLColumns lists no column of " + table);
    return names;
}


// The library takes psqlODBC's static cursor in place of its keyset-driven one.
bool OdbcReader::IsPsqlOdbc() const {
    char name[64] = {};
    SQLSMALLINT length = 0;
    if (!Ok(SQLGetInfo(dbc_, SQL_DRIVER_NAME, name, sizeof name, &length))) return false;
    return strncasecmp(name, "psqlodbc", 8) == 0;
}

// The cursor VORDEX_OpenRec asks for: a keyset-driven one, unless the driver
// offers a static cursor and no keyset-driven one (SQLite's and MariaDB's
// drivers) or is psqlODBC, whose static cursor the library prefers.
bool OdbcReader::LibraryTakesStaticCursor() const {
    const SQLUINTEGER offered = InfoMask(SQL_SCROLL_OPTIONS, "SQLGetInfo(SQL_SCROLL_OPTIONS)");
    if ((offered & SQL_SO_STATIC) && !(offered & SQL_SO_KEYSET_DRIVEN)) return true;
    return IsPsqlOdbc();
}

void OdbcReader::Open(const std::string& table, Cursor cursor) {
    Describe(table);
    Execute(cursor);
}

void OdbcReader::Describe(const std::string& table) {
    if (dbc_ == nullptr) throw std::runtime_error("OdbcReader::Describe before Connect");
    std::string owner;
    names_ = ListColumns(table, owner);

    char quote[2] = {};
    SQLSMALLINT quoteLength = 0;
    Check(SQLGetInfo(dbc_, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &quoteLength),
          "SQLGetInfo(SQL_IDENTIFIER_QUOTE_CHAR)");
    const std::string q = quoteLength == 1 && quote[0] != ' ' ? std::string(1, quote[0]) : std::string();
    // The library's text to the byte for plain names: the quoted names joined
    // by commas, the last separator turned into a blank, then " FROM " and the
    // quoted table, behind its owner where data statements take one, and the
    // condition that keeps psqlODBC from reading past the statement.
    select_ = "SELECT ";
    for (const std::string& name : names_) select_ += q + name + q + ",";
    select_.back() = ' ';
    select_ += " FROM ";
    if (!owner.empty() && (InfoMask(SQL_OWNER_USAGE, "SQLGetInfo(SQL_OWNER_USAGE)") & SQL_OU_DML_STATEMENTS)) {
        select_ += q + owner + q + ".";
    }
    select_ += q + table + q + " WHERE 1=1";
}

void OdbcReader::Execute(Cursor cursor) {
    if (select_.empty()) throw std::runtime_error("OdbcReader::Execute before Describe");
    cursor_ = cursor;
    Check(SQLAllocStmt(dbc_, &stmt_), "SQLAllocStmt");
    SQLSetStmtOption(stmt_, SQL_QUERY_TIMEOUT, kTimeoutSeconds);
    concurrency_ = SQL_CONCUR_READ_ONLY;
    if (cursor_ != Cursor::ForwardOnly) {
        const bool keyset = cursor_ == Cursor::Keyset || (cursor_ == Cursor::Library && !LibraryTakesStaticCursor());
        const SQLUINTEGER required = keyset ? SQL_SO_KEYSET_DRIVEN : SQL_SO_STATIC;
        if (!(InfoMask(SQL_SCROLL_OPTIONS, "SQLGetInfo(SQL_SCROLL_OPTIONS)") & required)) {
            throw std::runtime_error(keyset ? "the driver offers no keyset-driven cursor"
                                            : "the driver offers no static cursor");
        }
        Check(SQLSetStmtOption(stmt_, SQL_CURSOR_TYPE, keyset ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_STATIC),
              "SQL_CURSOR_TYPE", stmt_);
        // Read-only, as the library asks the drivers it writes by key
        // (PostgreSQL, SQLite, MariaDB): nothing is written through it.
        Check(SQLSetStmtOption(stmt_, SQL_CONCURRENCY, concurrency_), "SQL_CONCURRENCY", stmt_);
    }
    Check(SQLPrepare(stmt_, Sql(select_), SQL_NTS), "SQLPrepare", stmt_);
    Check(SQLExecute(stmt_), "SQLExecute", stmt_);

    SQLSMALLINT count = 0;
    Check(SQLNumResultCols(stmt_, &count), "SQLNumResultCols", stmt_);
    if (static_cast<size_t>(count) != names_.size()) throw std::runtime_error("result column count differs");
    values_.assign(names_.size() * kValueBytes, '\0');
    indicators_.assign(names_.size(), 0);
    for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(count); ++column) {
        SQLCHAR name[64];
        SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
        SQLULEN size = 0;
        Check(SQLDescribeCol(stmt_, column, name, sizeof name, &nameLength, &type, &size, &scale, &nullable),
              "SQLDescribeCol", stmt_);
        Check(SQLBindCol(stmt_, column, SQL_C_CHAR, &values_[(column - 1) * kValueBytes], kValueBytes,
                         &indicators_[column - 1]),
              "SQLBindCol", stmt_);
    }
}

long OdbcReader::Walk(long limit, uint64_t& bytes) {
    const size_t columns = names_.size();
    char* const values = values_.data();
    SQLLEN* const indicators = indicators_.data();
    long rows = 0;
    while (limit == 0 || rows < limit) {
        SQLRETURN rc;
        if (FetchesExtended()) {
            SQLULEN fetched = 0;
            rc = SQLExtendedFetch(stmt_, SQL_FETCH_NEXT, 1, &fetched, rowStatus_);
        } else {
            rc = SQLFetch(stmt_);
        }
        if (rc == SQL_NO_DATA) break;
        Check(rc, FetchesExtended() ? "SQLExtendedFetch" : "SQLFetch", stmt_);
        // As the library's fix-up after a fetch: NULL reads as the empty
        // text, otherwise the length is where the driver put the terminator.
        for (size_t i = 0; i < columns; ++i) {
            char* value = values + i * kValueBytes;
            if (indicators[i] == SQL_NULL_DATA) {
                value[0] = '\0';
            } else {
                value[kValueBytes - 1] = '\0';
                const size_t length = std::strlen(value);
                indicators[i] = static_cast<SQLLEN>(length);
                bytes += length;
            }
        }
        ++rows;
    }
    return rows;
}

SQLULEN OdbcReader::GrantedCursorType() const {
    SQLULEN type = SQL_CURSOR_FORWARD_ONLY;
    if (stmt_ != nullptr) Check(SQLGetStmtOption(stmt_, SQL_CURSOR_TYPE, &type), "SQL_CURSOR_TYPE", stmt_);
    return type;
}

SQLULEN OdbcReader::GrantedConcurrency() const {
    SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
    if (stmt_ != nullptr) Check(SQLGetStmtOption(stmt_, SQL_CONCURRENCY, &concurrency), "SQL_CONCURRENCY", stmt_);
    return concurrency;
}

void OdbcReader::Close() {
    if (stmt_ != nullptr) SQLFreeStmt(stmt_, SQL_DROP);
    stmt_ = nullptr;
    select_.clear();
    if (dbc_ != nullptr) {
        SQLDisconnect(dbc_);
        SQLFreeConnect(dbc_);
    }
    dbc_ = nullptr;
    if (env_ != nullptr) SQLFreeEnv(env_);
    env_ = nullptr;
}

}  // namespace vordex_bench
