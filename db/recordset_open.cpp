// Opening a result set: statement, cursor options, execution, result columns.
#include "platform/odbc_headers.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/odbc_call.h"
#include "db/odbc_environment.h"
#include "db/recordset.h"

namespace vordex {
namespace {

struct CursorKind {
    SQLUSMALLINT cursorType;
    SQLUINTEGER requiredScrollBit;
    SQLRETURN missingError;
};

// Indexed by open type; ForwardOnly sets no cursor type and needs nothing.
constexpr CursorKind kCursorKinds[] = {
    {SQL_CURSOR_KEYSET_DRIVEN, SQL_SO_KEYSET_DRIVEN, ErrorNoKeysetCursor},
    {SQL_CURSOR_STATIC, SQL_SO_STATIC, ErrorNoStaticCursor},
    {SQL_CURSOR_FORWARD_ONLY, 0, 0},
    {SQL_CURSOR_DYNAMIC, SQL_SO_DYNAMIC, ErrorNoDynamicCursor},
};

}  // namespace

bool CRecordset::Open(uint32_t openType, const char* sql, uint32_t options) {
    RecordOpenRequest(openType, sql, options);
    if (!AllocateStatement()) return false;
    ClosingOnFailure([&] {
        SetStatementOptions(StatementHandle);
        const bool fieldStateEarly = FieldCount != 0 || ParamCount != 0;
        if (fieldStateEarly) AllocFieldState();
        ComposeSQL(sql);
        ExecuteStatement();
        DescribeResultColumns();
        AllocateRowStatus();
        if (!fieldStateEarly && (FieldCount != 0 || ParamCount != 0)) AllocFieldState();
        BeforeFirstFetch();
        MoveToFirstRow();
    });
    return true;
}

void CRecordset::MoveToFirstRow() {
    Move(1, SQL_FETCH_NEXT);
    // Right after opening both ends are set exactly when the result is empty.
    AtStart = AtEnd;
}

void CRecordset::RecordOpenRequest(uint32_t openType, const char* sql, uint32_t options) {
    // Rowsets of more than one row are not offered: no result set of the
    // library lists rowset fields.
    if (options & (OptMultiRow | OptOwnRowBuffers)) throw new CDBException(SQL_ERROR);

    OpenType = openType == static_cast<uint32_t>(-1) ? DefaultOpenType : std::min<uint32_t>(openType, DynamicCursor);
    AppendAllowed = (options & OptAppendOnly) || !(options & OptReadOnly);
    UpdateAllowed = !(options & (OptReadOnly | OptAppendOnly));
    if (options & OptNoChangeCheck) CheckChanges = 0;
    if (OpenType == ForwardOnly && !(options & OptReadOnly)) options |= OptReadOnly;
    Options = options;
    SavedSql = sql;
    SavedFilter = Filter;
    SavedSort = Sort;
    Concurrency = SQL_CONCUR_READ_ONLY;
}

bool CRecordset::AllocateStatement() {
    if (StatementHandle != nullptr) return true;
    try {
        if (Database == nullptr) {
            Database = new CDatabase;
            OwnsDatabase = 1;
        }
        CText connect = DefaultConnect();
        if (!Database->IsConnected()) {
            const bool cursorLibrary = OpenType == StaticCursor && !(Options & OptReadOnly);
            if (!Database->Open(nullptr, false, false, connect.c_str(), cursorLibrary)) return false;
            if (OpenType == StaticCursor && !cursorLibrary) {
                SQLUINTEGER scrollOptions = 0;
                SQLRETURN rc = SQLGetInfo(Database->ConnectionHandle, SQL_SCROLL_OPTIONS, &scrollOptions,
                                          sizeof scrollOptions, nullptr);
                if (!Succeeded(rc)) ThrowError(rc);
                // The driver has no static cursor of its own: the cursor library gives one.
                if (!(scrollOptions & SQL_SO_STATIC)) {
                    Database->Close();
                    if (!Database->Open(nullptr, false, false, connect.c_str(), true)) return false;
                }
            }
        }
        SQLRETURN rc = SQLAllocStmt(Database->ConnectionHandle, &StatementHandle);
        if (!Succeeded(rc)) {
            StatementHandle = nullptr;
            ThrowError(SQL_INVALID_HANDLE);
        }
        DatabaseLockGuard guard(DatabaseLock());
        Database->OpenRecordsets.push_front(this);
    } catch (...) {
        if (OwnsDatabase) {
            delete Database;
            Database = nullptr;
            OwnsDatabase = 0;
        }
        throw;
    }
    return true;
}

void CRecordset::SetStatementOptions(SQLHSTMT statement) {
    Database->SetStatementOptions(statement);
    if (OpenType == ForwardOnly && !(Options & OptExtendedFetch)) return;
    RequestBookmarks();
    if (OpenType == ForwardOnly) return;
    CheckScrollSupport();
    const SQLUSMALLINT cursorType = ChooseCursorType();
    ChooseUpdateMethod();
    ApplyCursorOptions(statement, cursorType);
}

void CRecordset::RequestBookmarks() {
    if (!(Options & OptBookmarks) || !(Database->BookmarkPersistence & SQL_BP_SCROLL)) return;
    SQLRETURN rc = SQLSetStmtOption(StatementHandle, SQL_USE_BOOKMARKS, SQL_UB_ON);
    if (!Succeeded(rc)) ThrowError(rc);
}

void CRecordset::CheckScrollSupport() {
    SQLUSMALLINT supported = SQL_FALSE;
    SQLRETURN rc = SQLGetFunctions(Database->ConnectionHandle, SQL_API_SQLEXTENDEDFETCH, &supported);
    if (!Succeeded(rc)) ThrowError(rc);
    Scrollable = supported != SQL_FALSE;
    if (!Scrollable) {
        UpdateAllowed = 0;
        return;
    }
    char version[30] = {};
    rc = SQLGetInfo(Database->ConnectionHandle, SQL_ODBC_VER, version, sizeof version, nullptr);
    if (!Succeeded(rc)) ThrowError(rc);
    if (version[0] == '0' && version[1] < '2') ThrowError(ErrorOdbcVersion);
}

SQLUSMALLINT CRecordset::ChooseCursorType() {
    SQLUINTEGER scrollOptions = 0;
    SQLRETURN rc =
        SQLGetInfo(Database->ConnectionHandle, SQL_SCROLL_OPTIONS, &scrollOptions, sizeof scrollOptions, nullptr);
    if (!Succeeded(rc)) ThrowError(rc);
    const CursorKind& kind = kCursorKinds[OpenType];
    if (kind.requiredScrollBit != 0 && !(scrollOptions & kind.requiredScrollBit)) ThrowError(kind.missingError);
    return kind.cursorType;
}

void CRecordset::ChooseUpdateMethod() {
    if (Database->UpdateCapabilities & UpdateBySetPos) {
        UpdateBySql = 0;
    } else if (Database->UpdateCapabilities & UpdateByPositionedSql) {
        UpdateBySql = 1;
    } else {
        UpdateAllowed = 0;
    }
}

void CRecordset::ApplyCursorOptions(SQLHSTMT statement, SQLUSMALLINT cursorType) {
    Concurrency = SQL_CONCUR_READ_ONLY;
    if ((UpdateAllowed || AppendAllowed) && Database->Updatable) {
        SQLUINTEGER offered = 0;
        SQLRETURN rc =
            SQLGetInfo(Database->ConnectionHandle, SQL_SCROLL_CONCURRENCY, &offered, sizeof offered, nullptr);
        if (!Succeeded(rc)) ThrowError(rc);
        ScrollConcurrency = offered;
        if (offered & SQL_SCCO_OPT_ROWVER) {
            Concurrency = SQL_CONCUR_ROWVER;
        } else if (offered & SQL_SCCO_OPT_VALUES) {
            Concurrency = SQL_CONCUR_VALUES;
        } else if (offered & SQL_SCCO_LOCK) {
            Concurrency = SQL_CONCUR_LOCK;
        }
    }
    SQLRETURN rc = SQLSetStmtOption(statement, SQL_CURSOR_TYPE, cursorType);
    if (!Succeeded(rc)) ThrowError(rc);
    rc = SQLSetStmtOption(statement, SQL_CONCURRENCY, Concurrency);
    if (!Succeeded(rc)) ThrowError(rc);
    ConcurrencySubstituted = rc == SQL_SUCCESS_WITH_INFO && Concurrency != SQL_CONCUR_READ_ONLY;
}

void CRecordset::ExecuteStatement() {
    CText converted;
    const CText& sent = Database->CodePages.ForDriver(SqlStatement, converted);
    Database->RefuseStatementDriverMisreads(sent);
    SQLCHAR* text = reinterpret_cast<SQLCHAR*>(const_cast<char*>(sent.c_str()));
    const bool direct = Options & OptExecuteDirect;
    SQLRETURN rc;
    for (;;) {
        rc = RepeatWhileExecuting([&] {
            return direct ? SQLExecDirect(StatementHandle, text, SQL_NTS) : SQLPrepare(StatementHandle, text, SQL_NTS);
        });
        bool prepared = false;  // the failure, if any, is SQLExecute's on a prepared statement
        if (Succeeded(rc) && !direct) {
            prepared = true;
            rc = RepeatWhileExecuting([&] { return SQLExecute(StatementHandle); });
        }
        if (Succeeded(rc)) break;

        auto* e = new CDBException(rc);
        e->BuildErrorText(Database, StatementHandle);
        if (Concurrency == SQL_CONCUR_READ_ONLY) {
            // Nothing lower to try. When read-only was the fallback, its
            // failure is the statement's own (a view timed out, not its
            // missing ctid under an updatable cursor).
            throw e;
        }
        if (!prepared && e->HasState("S1C00")) {
            // "Driver not capable": try again with a lower concurrency.
            e->Delete();
            if ((ScrollConcurrency & SQL_SCCO_LOCK) &&
                (Concurrency == SQL_CONCUR_ROWVER || Concurrency == SQL_CONCUR_VALUES)) {
                Concurrency = SQL_CONCUR_LOCK;
            } else {
                Concurrency = SQL_CONCUR_READ_ONLY;
            }
        } else {
            // Some relations can be read but not through an updatable cursor
            // (psqlODBC selects a view's ctid, which views lack): read it once
            // read-only before giving up.
            e->Delete();
            Concurrency = SQL_CONCUR_READ_ONLY;
        }
        if (Concurrency == SQL_CONCUR_READ_ONLY) {
            UpdateAllowed = 0;
            AppendAllowed = 0;
        }
        if (prepared) {
            // A prepared statement takes no other concurrency: start afresh.
            RenewStatement();
        } else {
            rc = SQLSetStmtOption(StatementHandle, SQL_CONCURRENCY, Concurrency);
            if (!Succeeded(rc)) ThrowError(rc);
            ConcurrencySubstituted = rc == SQL_SUCCESS_WITH_INFO && Concurrency != SQL_CONCUR_READ_ONLY;
        }
    }
    OpenState = 1;

    // A warning at execution, or a substitute for the concurrency asked
    // for, may mean the driver granted less than asked. (MariaDB's driver
    // turns a request for values into read-only at the option and executes
    // without a word; writing through it would go against what it granted.)
    if (rc == SQL_SUCCESS_WITH_INFO || ConcurrencySubstituted) {
        SQLULEN granted = 0;
        SQLRETURN optionRc = SQLGetStmtOption(StatementHandle, SQL_CONCURRENCY, &granted);
        if (!Succeeded(optionRc)) ThrowError(optionRc);
        if (granted == SQL_CONCUR_READ_ONLY) {
            UpdateAllowed = 0;
            AppendAllowed = 0;
        }
    }
}

void CRecordset::RenewStatement() {
    SQLFreeStmt(StatementHandle, SQL_DROP);
    StatementHandle = nullptr;
    const SQLRETURN rc = SQLAllocStmt(Database->ConnectionHandle, &StatementHandle);
    if (!Succeeded(rc)) {
        StatementHandle = nullptr;
        ThrowError(SQL_INVALID_HANDLE);
    }
    // Read-only by now (UpdateAllowed and AppendAllowed clear), so the
    // options chosen anew ask for read-only concurrency.
    SetStatementOptions(StatementHandle);
    if (ParamCount != 0) RunBindParamsPass(StatementHandle);
}

void CRecordset::DescribeResultColumns() {
    SQLSMALLINT count = 0;
    SQLRETURN rc = RepeatWhileExecuting([&] { return SQLNumResultCols(StatementHandle, &count); });
    if (!Succeeded(rc)) ThrowError(rc);
    ResultColumnCount = count;
    if (count <= 0) return;

    ColumnInfo = std::make_unique<ColumnInfoEntry[]>(static_cast<size_t>(count));
    for (SQLUSMALLINT column = 1; column <= static_cast<SQLUSMALLINT>(count); ++column) {
        ColumnInfoEntry& info = ColumnInfo[column - 1];
        SQLCHAR name[64] = {};
        SQLSMALLINT nameLength = 0;
        rc = RepeatWhileExecuting([&] {
            return SQLDescribeCol(StatementHandle, column, name, sizeof name, &nameLength, &info.SqlType,
                                  &info.Precision, &info.Scale, &info.Nullability);
        });
        if (!Succeeded(rc)) ThrowError(rc);
        const size_t length = std::min<size_t>(nameLength < 0 ? 0 : static_cast<size_t>(nameLength), 63);
        std::memcpy(info.Name, name, length);
        info.Name[length] = '\0';
    }
}

bool CRecordset::Refresh() {
    if (Options & OptExecuteDirect) return false;
    return ClosingOnFailure([&] {
        if (Filter != SavedFilter || Sort != SavedSort) {
            SavedFilter = Filter;
            SavedSort = Sort;
            Close();
            CText sql = SavedSql;
            return Open(OpenType, sql.IsEmpty() ? nullptr : sql.c_str(), Options);
        }
        SQLFreeStmt(StatementHandle, SQL_CLOSE);
        OpenState = 0;
        SQLRETURN rc = RepeatWhileExecuting([&] { return SQLExecute(StatementHandle); });
        if (!Succeeded(rc)) ThrowError(rc);
        OpenState = 1;
        ResetPosition();
        MoveToFirstRow();
        return true;
    });
}

}  // namespace vordex
