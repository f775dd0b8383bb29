// MariaDB Connector/ODBC, for MariaDB and MySQL servers, which act alike here.
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <string>

#include "db/database.h"
#include "db/drivers/driver_profile.h"
#include "db/sql_types.h"
#include "platform/connect_string.h"
#include "platform/data_source_setting.h"

namespace vordex {
namespace {

using platform::CodePage;

/// A MariaDB or MySQL character set's code page; `otherwise` for one that
/// is neither UTF-8 nor Shift_JIS.
CodePage CharacterSetCodePage(std::string name, CodePage otherwise) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.rfind("utf8", 0) == 0) return CodePage::Utf8;  // utf8, utf8mb3, utf8mb4
    if (name == "cp932" || name == "sjis") return CodePage::Cp932;
    return otherwise;
}

bool SameName(const char* typeName, const char* name) {
    return std::strlen(typeName) == std::strlen(name) && platform::StartsWithNoCase(typeName, name);
}

class MariaDbDriver final : public DriverProfile {
public:
    const char* Name() const override { return "MariaDB"; }

    // "libmaodbc.so" where the driver is named by its file.
    bool NamesThisDriver(const std::string& lowerName) const override {
        for (const char* word : {"maria", "mysql", "maodbc"}) {
            if (lowerName.find(word) != std::string::npos) return true;
        }
        return false;
    }

    bool ServesConnection(const std::string& dbmsName, const std::string&) const override {
        return dbmsName == "MariaDB" || dbmsName == "MySQL";
    }

    // The driver leaves the login time-out to the TCP connect: a frozen
    // server held the handshake for good. Its last key counts, so a
    // CONN_TIMEOUT of the caller's stays.
    std::string PrepareConnectString(const CDatabase& database, const std::string& connect) const override {
        if (database.LoginTimeout == 0) return connect;
        return "CONN_TIMEOUT=" + std::to_string(database.LoginTimeout) + ";" + connect;
    }

    // The server sends the connection's character set (CHARSET=), and itself
    // puts "?" for a character that set lacks: a connection in the host's
    // code page needs no conversion here.
    CodePage DriverCodePage(CDatabase& database) const override {
        return CharacterSetCodePage(database.QueryFirstValue("SELECT @@character_set_results"),
                                    database.CodePages.host);
    }

    // With CHARSET=cp932 the second byte of "チ" (83 60) is a backtick to the
    // driver, and the statement fails without a word from the server. The
    // same name works over utf8mb4, where no second byte is below 0x80.
    bool ScansQuotesByByte(CodePage driverCodePage) const override { return driverCodePage != CodePage::Utf8; }

    // MariaDB waits 50 s for a row lock (a write by key locks the row it
    // checks) and a year for a table's (LOCK TABLES) unless told otherwise,
    // and its driver leaves the query time-out alone (a SELECT of 40 s took
    // 40 s): the session bounds both, a statement a second later than a lock
    // wait, so that a wait for a lock says so.
    void BoundWaits(CDatabase& database) const override {
        const std::string seconds = std::to_string(database.QueryTimeout);
        database.ExecuteQuietly(
            ("SET SESSION innodb_lock_wait_timeout = " + seconds + ", lock_wait_timeout = " + seconds).c_str());
        database.ExecuteQuietly(
            database.DbmsName() == "MariaDB"
                ? ("SET SESSION max_statement_time = " + std::to_string(database.QueryTimeout + 1)).c_str()
                : ("SET SESSION max_execution_time = " + std::to_string(database.QueryTimeout * 1000L + 1000)).c_str());
    }

    bool ReadsInBlocksByKey() const override { return true; }
    // NO_CACHE makes the driver read the result from the server as it is
    // fetched.
    bool ReadingChosenIn(const std::string& connect) const override {
        return !platform::ConnectOrDataSourceValue(connect.c_str(), "NO_CACHE").empty();
    }

    // The server names no client port: the socket to its address is watched.
    int DefaultServerPort() const override { return 3306; }
    // Connector/ODBC reaches "localhost" (or no server named) through the
    // socket file SOCKET names, or the client library's default one.
    std::string LocalSocketPath(const std::string& connect) const override {
        const std::string socket =
            platform::UnbracedValue(platform::ConnectOrDataSourceValue(connect.c_str(), "SOCKET"));
        if (!socket.empty()) return socket;
        const std::string host = CDatabase::ServerHostIn(connect.c_str());
        return host.empty() || (host.size() == 9 && platform::StartsWithNoCase(host.c_str(), "localhost"))
                   ? "mysqld.sock"
                   : "";
    }

    // The cursor holds every row from execution on.
    bool RowsEndOnlyOnLiveConnection() const override { return false; }

    // The driver lists BIT(n) as SQL_BIT or SQL_BINARY (SQL_BIT here: read as
    // its number), and UUID, INET4 and INET6 as SQL_LONGVARBINARY, though the
    // server reads and writes them as text of one exact form (SQL_GUID here:
    // exact text, never cut, compared as text).
    int32_t SqlTypeAsHandled(int32_t listedType, const char* typeName) const override {
        if (typeName == nullptr) return listedType;
        if (SameName(typeName, "BIT")) return SQL_BIT;
        if (SameName(typeName, "UUID") || SameName(typeName, "INET4") || SameName(typeName, "INET6")) {
            return SQL_GUID;
        }
        return listedType;
    }

    bool ReadsBinaryAsHex() const override { return true; }
    // Text sent to a BIT column is stored as its bytes ('5' as 0x35), and its
    // bytes read as text are no text.
    bool ReadsBitsAsNumber() const override { return true; }

    // The driver grants a read-only cursor: rows are written by key.
    const KeyWriteTraits* KeyWrites() const override {
        static const KeyWriteTraits traits{"START TRANSACTION", " FOR UPDATE", "UPDATE ", true, true, false,
                                           "SELECT @@read_only OR @@tx_read_only",
                                           // The driver's SQLPrimaryKeys matches no table named outside ASCII
                                           // over a connection in another character set. 'PRI' marks a unique
                                           // key over NOT NULL columns too, where the table has no primary
                                           // key: the server uses it as one.
                                           "SELECT COLUMN_NAME FROM information_schema.COLUMNS"
                                           " WHERE TABLE_SCHEMA = COALESCE(NULLIF(?, ''), DATABASE())"
                                           " AND TABLE_NAME = ? AND COLUMN_KEY = 'PRI' ORDER BY ORDINAL_POSITION",
                                           nullptr};
        return &traits;
    }

    // Characters compare by the column's collation ('a' = 'A'), and over a
    // connection in another character set arrive as other bytes: a key's
    // stored bytes name its row.
    KeyForm KeyFormFor(int32_t sqlType) const override {
        if (sqlType == SQL_BIT) return KeyForm::BitNumber;
        if (IsCharacterSqlType(sqlType) || IsBinarySqlType(sqlType)) return KeyForm::HexBytes;
        if (IsApproximateSqlType(sqlType)) return KeyForm::Double;
        return KeyForm::Text;
    }

    KeyForm CompareFormFor(int32_t sqlType, bool driverTextLossy) const override {
        if (IsApproximateSqlType(sqlType)) return KeyForm::Double;
        if (driverTextLossy && IsCharacterSqlType(sqlType)) return KeyForm::HexBytes;
        return KeyForm::Text;
    }
};

}  // namespace

const DriverProfile& MariaDbProfile() {
    static const MariaDbDriver profile;
    return profile;
}

}  // namespace vordex
