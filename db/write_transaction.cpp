#include "db/write_transaction.h"

#include <string>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/library_messages.h"
#include "db/odbc_call.h"
#include "db/recordset.h"

namespace vordex {
namespace {

SQLRETURN ExecuteText(SQLHSTMT statement, const char* sql) {
    SQLFreeStmt(statement, SQL_CLOSE);
    SQLFreeStmt(statement, SQL_RESET_PARAMS);
    return RepeatWhileExecuting(
        [&] { return SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS); });
}

}  // namespace

bool LostConnection(const CDBException& e, CDatabase& database) {
    database.NoteFailure(e);
    return database.ConnectionLost();
}

WriteTransaction::WriteTransaction(CRecordset& record, SQLHSTMT statement, const char* begin)
    : record_(record), statement_(statement) {
    Run(begin);
    open_ = true;
    const std::string bounds = record.Database->Profile().WriteWaitBounds(*record.Database);
    if (!bounds.empty()) Run(bounds.c_str());
}

WriteTransaction::~WriteTransaction() {
    if (open_) ExecuteText(statement_, "ROLLBACK");
}

void WriteTransaction::Run(const char* sql) {
    const SQLRETURN rc = ExecuteText(statement_, sql);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) record_.ThrowError(rc, statement_);
}

void WriteTransaction::Commit() {
    const SQLRETURN rc = ExecuteText(statement_, "COMMIT");
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) {
        open_ = false;
        return;
    }
    auto* e = new CDBException(rc);
    e->BuildErrorText(record_.Database, statement_);
    if (LostConnection(*e, *record_.Database)) {
        // Nothing to roll back on a lost connection; what the server did
        // with the COMMIT cannot be known.
        open_ = false;
        e->ErrorText.Clear();
        LoadLibraryMessage(MessageWriteOutcomeUnknown, e->ErrorText);
    }
    throw e;
}

}  // namespace vordex
