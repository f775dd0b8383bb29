#pragma once

#include "platform/odbc_headers.h"

namespace vordex {

class CDatabase;
class CDBException;
class CRecordset;

/// One transaction of a write, run on one statement of the record's
/// connection: begun by the constructor with the data source's own words
/// (`begin`, such as "BEGIN IMMEDIATE"), rolled back by the destructor unless
/// Commit succeeded. Every statement of the write runs on the same handle,
/// so nothing depends on a transaction spanning several.
class WriteTransaction {
public:
    WriteTransaction(CRecordset& record, SQLHSTMT statement, const char* begin);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    /// Makes the write lasting. A refused COMMIT throws the data source's
    /// error (nothing was stored); a COMMIT whose answer the connection lost
    /// throws the library's message that the write may or may not have
    /// been stored.
    void Commit();

private:
    /// Runs `sql` on the transaction's statement, its cursor closed and its
    /// parameters reset first; throws the data source's error.
    void Run(const char* sql);

    CRecordset& record_;
    SQLHSTMT statement_;
    bool open_ = false;
};

/// True when `e`'s diagnostics, or the driver, say the connection to the
/// server is gone.
bool LostConnection(const CDBException& e, CDatabase& database);

}  // namespace vordex
