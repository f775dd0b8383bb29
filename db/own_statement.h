#pragma once

#include <cstddef>

#include "platform/odbc_headers.h"

namespace vordex {

/// A statement handle of its own for one short exchange on a connection:
/// allocated with it, dropped when it goes, whatever the exchange ends in.
class OwnStatement {
public:
    explicit OwnStatement(SQLHDBC connection) {
        if (!SQL_SUCCEEDED(SQLAllocStmt(connection, &handle_))) handle_ = nullptr;
    }
    ~OwnStatement() {
        if (handle_ != nullptr) SQLFreeStmt(handle_, SQL_DROP);
    }
    OwnStatement(const OwnStatement&) = delete;
    OwnStatement& operator=(const OwnStatement&) = delete;

    /// False when no handle could be allocated.
    explicit operator bool() const { return handle_ != nullptr; }
    SQLHSTMT Handle() const { return handle_; }
    /// Binds the `size` bytes at `text` as character input parameter
    /// `marker`; `text` and `length` must live until the statement has run.
    SQLRETURN BindText(SQLUSMALLINT marker, const char* text, size_t size, SQLLEN& length) const {
        length = static_cast<SQLLEN>(size);
        return SQLBindParameter(handle_, marker, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, size + 1, 0,
                                const_cast<char*>(text), 0, &length);
    }
    /// SQLExecDirect of `sql`, as it stands (already in the driver's code page).
    SQLRETURN Execute(const char* sql) const {
        return SQLExecDirect(handle_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS);
    }

private:
    SQLHSTMT handle_ = nullptr;
};

}  // namespace vordex
