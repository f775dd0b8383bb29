// The SQLite ODBC driver (sqliteodbc): a file, no server.
#include <filesystem>
#include <string>
#include <system_error>

#include "db/database.h"
#include "db/db_exception.h"
#include "db/drivers/driver_profile.h"
#include "db/library_messages.h"
#include "db/own_statement.h"
#include "db/sql_types.h"
#include "platform/connect_string.h"
#include "platform/data_source_setting.h"

namespace vordex {
namespace {

// The driver waits for a file that another process holds locked as long as
// its connect key Timeout says, 100 s unless set, and takes no other bound:
// busy_timeout, the query time-out and the connection time-out all leave its
// wait alone. It waits the time twice over (once in SQLite's busy handler,
// once more in its own step): half the query time-out bounds the whole wait.
long LockWait(const CDatabase& database) { return database.QueryTimeout > 0 ? database.QueryTimeout * 1000L / 2 : 0; }

/// The number in the first row of `sql`, each of whose `markers` (at most
/// four) takes the name of `table`; -1 where it fails or answers NULL.
long TableQueryNumber(CDatabase& database, const CText& table, const char* sql, SQLUSMALLINT markers) {
    const OwnStatement statement(database.ConnectionHandle);
    if (!statement) return -1;
    CText converted;
    const CText& name = database.CodePages.ForDriver(table, converted);
    SQLLEN lengths[4];
    if (markers > 4) return -1;
    for (SQLUSMALLINT marker = 1; marker <= markers; ++marker) {
        if (!SQL_SUCCEEDED(statement.BindText(marker, name.c_str(), name.Length(), lengths[marker - 1]))) return -1;
    }
    char answer[16] = {};
    SQLLEN indicator = SQL_NULL_DATA;
    const bool read = SQL_SUCCEEDED(statement.Execute(sql)) &&
                      SQL_SUCCEEDED(SQLBindCol(statement.Handle(), 1, SQL_C_CHAR, answer, sizeof answer, &indicator)) &&
                      SQL_SUCCEEDED(SQLFetch(statement.Handle())) && indicator != SQL_NULL_DATA;
    return read ? platform::DecimalValue(answer) : -1;
}

/// True when the connect string's Timeout is a number of at most `milliseconds`.
bool HasTimeoutWithin(const char* connect, long milliseconds) {
    const long timeout = platform::DecimalValue(platform::ConnectValue(connect, "TIMEOUT"));
    return timeout >= 0 && timeout <= milliseconds;
}

class SqliteDriver final : public DriverProfile {
public:
    const char* Name() const override { return "SQLite"; }

    bool NamesThisDriver(const std::string& lowerName) const override {
        return lowerName.find("sqlite") != std::string::npos;
    }

    bool ServesConnection(const std::string& dbmsName, const std::string&) const override {
        return dbmsName == "SQLite";
    }

    // The driver makes an empty database where the file is missing, unless
    // told not to (NoCreat), and waits 100 s for a locked file unless told a
    // shorter Timeout. The first of two equal keys counts: the caller's own
    // keys stay.
    std::string PrepareConnectString(const CDatabase& database, const std::string& connect) const override {
        std::string prepared = connect;
        const long wait = LockWait(database);
        if (wait > 0 && !HasTimeoutWithin(connect.c_str(), wait)) {
            prepared = "Timeout=" + std::to_string(wait) + ";" + prepared;
        }
        return prepared + ";NoCreat=1";
    }

    // NoCreat makes a missing file fail the connect with the driver's
    // generic words: the library names the file.
    void ExplainFailedConnect(const std::string& connect) const override {
        const std::string path = platform::ConnectOrDataSourceValue(connect.c_str(), "DATABASE");
        std::error_code error;
        if (path.empty() || std::filesystem::exists(path, error) || error) return;
        auto* e = new CDBException(SQL_ERROR);
        LoadLibraryMessage(MessageNoDatabaseFile, e->ErrorText);
        e->ErrorText.Append("\n");
        e->ErrorText.Append(path.c_str());
        throw e;
    }

    bool ReadsInBlocksByKey() const override { return true; }
    // Every table but a WITHOUT ROWID one numbers its rows, and its index
    // serves a range of them; a view has no such number. A column of the
    // table's own may take the number's name: one of its other names serves.
    const char* RowNumberColumn(CDatabase& database, const CText& table) const override {
        static const char* const kNames[] = {"rowid", "_rowid_", "oid"};
        static const char kSql[] =
            "SELECT CASE WHEN NOT EXISTS (SELECT 1 FROM pragma_table_info(?) WHERE lower(name) = 'rowid') THEN 0"
            " WHEN NOT EXISTS (SELECT 1 FROM pragma_table_info(?) WHERE lower(name) = '_rowid_') THEN 1"
            " WHEN NOT EXISTS (SELECT 1 FROM pragma_table_info(?) WHERE lower(name) = 'oid') THEN 2 END"
            " FROM pragma_table_list WHERE name = ? AND type = 'table' AND wr = 0";
        const long answer = TableQueryNumber(database, table, kSql, 4);
        return answer >= 0 && answer <= 2 ? kNames[answer] : nullptr;
    }
    // A name in double quotes that names no column is a string to SQLite:
    // a column dropped while a record reads would read as its own name in
    // every row. A name in backticks is always a name.
    char IdentifierQuote(char) const override { return '`'; }
    // StepAPI makes the driver step through the result as it is fetched.
    bool ReadingChosenIn(const std::string& connect) const override {
        return !platform::ConnectOrDataSourceValue(connect.c_str(), "STEPAPI").empty();
    }

    // SQLite keeps and sends text as UTF-8.
    platform::CodePage DriverCodePage(CDatabase&) const override { return platform::CodePage::Utf8; }

    // A data source whose own Timeout is longer (a DSN's) is connected again
    // with the bound; opening a file costs little.
    void BoundWaits(CDatabase& database) const override {
        const long milliseconds = LockWait(database);
        if (HasTimeoutWithin(database.ConnectString.c_str(), milliseconds)) return;
        // The first of two equal keys counts.
        SQLRETURN rc = database.ConnectAgain("Timeout=" + std::to_string(milliseconds) + ";" + database.SentConnect);
        // Connected a moment ago: connect as before rather than not at all.
        if (!SQL_SUCCEEDED(rc)) rc = database.ConnectAgain(database.SentConnect);
        if (!SQL_SUCCEEDED(rc)) database.ThrowError(rc);
    }

    // A file that is no database, or is locked past the wait, connects; the
    // catalog calls then list no table and say nothing.
    void CheckReadable(CDatabase& database) const override {
        const OwnStatement statement(database.ConnectionHandle);
        if (!statement) return;
        const SQLRETURN rc = statement.Execute("SELECT count(*) FROM sqlite_master");
        if (SQL_SUCCEEDED(rc)) return;
        auto* e = new CDBException(rc);
        e->BuildErrorText(&database, statement.Handle());
        throw e;
    }

    // The cursor holds every row from execution on.
    bool RowsEndOnlyOnLiveConnection() const override { return false; }
    // The driver measures a text to its first zero byte.
    bool TextLengthsReported() const override { return true; }
    // The driver gives a blob's bytes, or its text where one is stored.
    bool ReadsBinaryAsHex() const override { return true; }

    // Its driver's SQLSetPos(SQL_UPDATE) writes every bound column back,
    // SQL_IGNORE or not (0.9998 turns a NULL into '', a blob into the text of
    // its X'..' rendering and a REAL into its 15-digit rendering): rows are
    // written by key. The write lock is taken at once, so that no other
    // writer comes between the check and the write.
    const KeyWriteTraits* KeyWrites() const override {
        static const KeyWriteTraits traits{"BEGIN IMMEDIATE", "",     "UPDATE OR ABORT ", false, false, false, nullptr,
                                           nullptr,           nullptr};
        return &traits;
    }

    // Any column may hold any type: the key's stored type is part of it.
    KeyForm KeyFormFor(int32_t) const override { return KeyForm::SqliteTyped; }

    KeyForm CompareFormFor(int32_t sqlType, bool) const override {
        return IsApproximateSqlType(sqlType) ? KeyForm::SqliteQuoted : KeyForm::Text;
    }

    // "INTEGER PRIMARY KEY DESC" and WITHOUT ROWID tables keep an index for
    // their key; the rowid needs none.
    bool KeyIsRowNumber(CDatabase& database, const CText& table) const override {
        static const char kSql[] =
            "SELECT (SELECT count(*) FROM pragma_table_info(?) WHERE pk > 0) = 1"
            " AND (SELECT upper(type) FROM pragma_table_info(?) WHERE pk = 1) = 'INTEGER'"
            " AND NOT EXISTS (SELECT 1 FROM pragma_index_list(?) WHERE origin = 'pk')";
        return TableQueryNumber(database, table, kSql, 3) == 1;
    }
};

}  // namespace

const DriverProfile& SqliteProfile() {
    static const SqliteDriver profile;
    return profile;
}

}  // namespace vordex
