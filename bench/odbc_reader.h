// A table read through plain ODBC calls, made the way libvordex makes them:
// the yardstick that the benchmark and the allocation test hold the library
// against.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vordex_bench {

class OdbcReader {
public:
    enum class Cursor {
        /// What VORDEX_OpenRec asks for: a keyset-driven cursor, or a static
        /// one from psqlODBC and from a driver whose SQL_SCROLL_OPTIONS
        /// offer a static cursor but no keyset-driven one (SQLite, MariaDB);
        /// the concurrency chosen from SQL_SCROLL_CONCURRENCY; rows fetched
        /// one at a time with SQLExtendedFetch.
        Library,
        /// As Library, but a keyset-driven cursor from every driver: what
        /// psqlODBC's own keyset-driven cursor costs.
        Keyset,
        /// A forward-only, read-only cursor read with SQLFetch.
        ForwardOnly,
    };

    /// Bytes bound per column: the library binds every column of a table as
    /// text of up to 255 bytes plus the terminator.
    static constexpr SQLLEN kValueBytes = 256;

    OdbcReader() = default;
    OdbcReader(const OdbcReader&) = delete;
    OdbcReader& operator=(const OdbcReader&) = delete;
    ~OdbcReader();

    /// Connects through the ODBC 2 calls the library uses. Throws
    /// std::runtime_error (with the driver's diagnostics) on failure.
    void Connect(const std::string& connect);
    /// Describe, then Execute.
    void Open(const std::string& table, Cursor cursor);
    /// Lists the table's columns and composes the statement the library
    /// would build for it. Throws on failure.
    void Describe(const std::string& table);
    /// Sets the cursor options, prepares, executes and binds the statement of
    /// the last Describe. Throws on failure.
    void Execute(Cursor cursor);
    /// Reads up to `limit` rows (every row when `limit` is 0), taking each
    /// value's length from its terminator; adds the lengths to `bytes` and
    /// returns the number of rows read. Throws on a failed fetch.
    long Walk(long limit, uint64_t& bytes);
    /// Drops the statement and the connection.
    void Close();

    const std::string& SelectText() const { return select_; }
    SQLUINTEGER Concurrency() const { return concurrency_; }
    /// The cursor type the driver granted (SQL_CURSOR_TYPE after execution).
    SQLULEN GrantedCursorType() const;
    /// The concurrency the driver granted (SQL_CONCURRENCY after execution).
    SQLULEN GrantedConcurrency() const;
    size_t ColumnCount() const { return names_.size(); }

private:
    [[noreturn]] void Fail(const char* what, SQLHSTMT statement) const;
    void Check(SQLRETURN rc, const char* what, SQLHSTMT statement = nullptr) const;
    SQLUINTEGER InfoMask(SQLUSMALLINT item, const char* what) const;
    /// The column names of `table`; `owner` gets the owner the catalog names.
    std::vector<std::string> ListColumns(const std::string& table, std::string& owner);
    bool IsPsqlOdbc() const;
    bool LibraryTakesStaticCursor() const;
    bool FetchesExtended() const { return cursor_ != Cursor::ForwardOnly; }

    SQLHENV env_ = nullptr;
    SQLHDBC dbc_ = nullptr;
    SQLHSTMT stmt_ = nullptr;
    Cursor cursor_ = Cursor::Library;
    SQLUINTEGER concurrency_ = 1;  // SQL_CONCUR_READ_ONLY
    std::string select_;
    std::vector<std::string> names_;
    std::vector<char> values_;
    std::vector<SQLLEN> indicators_;
    SQLUSMALLINT rowStatus_[1] = {};
};

}  // namespace vordex_bench
