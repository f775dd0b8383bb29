// psqlODBC and PostgreSQL.
#include <string>

#include "db/database.h"
#include "db/drivers/driver_profile.h"
#include "platform/data_source_setting.h"

namespace vordex {
namespace {

/// Rows a block of psqlODBC's block reading. Measured on 1,000,000 rows of
/// ten columns: the first row in 18 ms and a peak of 16 MiB, where 50,000
/// took 80 ms and 1,000 spent more CPU a row.
constexpr const char* kBlockRows = "10000";

class PostgresDriver final : public DriverProfile {
public:
    const char* Name() const override { return "PostgreSQL"; }

    bool NamesThisDriver(const std::string& lowerName) const override {
        return lowerName.find("postgres") != std::string::npos || lowerName.find("psqlodbc") != std::string::npos;
    }

    // psqlodbca.so, psqlodbcw.so, PSQLODBC35W.DLL ...
    bool ServesConnection(const std::string& dbmsName, const std::string& driverFile) const override {
        return dbmsName == "PostgreSQL" || platform::StartsWithNoCase(driverFile.c_str(), "psqlodbc");
    }

    // Unless the caller or the data source chose otherwise ("CX" is
    // psqlODBC's packed form of its switches):
    // - block reading (UseDeclareFetch=1): without it the driver reads the
    //   whole result of its own cursor into memory at execution (490 MiB for
    //   the rows above);
    // - no named statements on the server (UseServerSidePrepare=0): they
    //   belong to the session, and behind a pool in transaction mode the
    //   next statement may run on another server connection, which lacks
    //   them or holds another client's of the same name.
    std::string PrepareConnectString(const CDatabase&, const std::string& connect) const override {
        const char* text = connect.c_str();
        if (!platform::ConnectOrDataSourceValue(text, "CX").empty()) return connect;
        std::string chosen = connect;
        const auto add = [&chosen](const std::string& item) {
            if (!chosen.empty() && chosen.back() != ';') chosen += ';';
            chosen += item;
        };
        if (platform::ConnectOrDataSourceValue(text, "USEDECLAREFETCH").empty()) {
            add("UseDeclareFetch=1");
            if (platform::ConnectOrDataSourceValue(text, "FETCH").empty() &&
                platform::ConnectOrDataSourceValue(text, "A7").empty()) {
                add(std::string("Fetch=") + kBlockRows);
            }
        }
        if (platform::ConnectOrDataSourceValue(text, "USESERVERSIDEPREPARE").empty()) add("UseServerSidePrepare=0");
        return chosen;
    }

    bool ReadsInBlocksByKey() const override { return true; }
    // UseDeclareFetch (or "CX", the packed switches) names the driver's mode.
    bool ReadingChosenIn(const std::string& connect) const override {
        return !platform::ConnectOrDataSourceValue(connect.c_str(), "USEDECLAREFETCH").empty() ||
               !platform::ConnectOrDataSourceValue(connect.c_str(), "CX").empty();
    }

    // PostgreSQL sends nothing that its client encoding lacks: one such
    // character fails the whole statement (22P05). So the session speaks
    // UTF-8, which holds every character, whatever psqlODBC chose from the
    // locale or PGCLIENTENCODING, and the library converts.
    platform::CodePage DriverCodePage(CDatabase& database) const override {
        return database.ExecuteQuietly("SET client_encoding TO 'UTF8'") ? platform::CodePage::Utf8
                                                                        : database.CodePages.host;
    }

    // psqlODBC carries out a query time-out with "SET statement_timeout"
    // before the statement and "= 0" at some later one: through a pool in
    // transaction mode the two land on different server connections, and
    // the first stays there for other clients. The library's reads are
    // bounded by the server watch instead, and its writes by bounds of their
    // own transaction: lock_timeout ends a wait for a row lock with the
    // server's own message, statement_timeout a second later any other.
    bool TimeoutOutlivesStatement() const override { return true; }
    std::string WriteWaitBounds(const CDatabase& database) const override {
        if (database.QueryTimeout <= 0) return "";
        return "SET LOCAL lock_timeout = " + std::to_string(database.QueryTimeout * 1000L) +
               "; SET LOCAL statement_timeout = " + std::to_string(database.QueryTimeout * 1000L + 1000);
    }

    const char* ClientPortQuery() const override { return "SELECT inet_client_port()"; }
    int DefaultServerPort() const override { return 5432; }
    // A server name that is a directory, or none, is libpq's way to the
    // server's socket file in that directory (or its default one).
    std::string LocalSocketPath(const std::string& connect) const override {
        const std::string host = CDatabase::ServerHostIn(connect.c_str());
        const std::string file =
            ".s.PGSQL." + std::to_string(CDatabase::ServerPortIn(connect.c_str(), DefaultServerPort()));
        if (host.empty()) return file;
        return host[0] == '/' ? host + "/" + file : "";
    }

    // PostgreSQL's texts hold no zero byte.
    bool TextLengthsReported() const override { return true; }
    // psqlODBC's keyset-driven cursor cannot be trusted with a table that
    // others change: it takes a row changed elsewhere for a deleted one and,
    // moved onto such a row by number, hands out the next one instead, and
    // on a run of some dozens of them it crashes the process (13.02). Its
    // static cursor is one snapshot of the result, whose row numbers stay
    // put; in block-reading mode it is a scroll cursor on the server, so the
    // client holds one block of rows whatever the table's size.
    bool PrefersStaticCursor() const override { return true; }
    // psqlODBC doubles a backslash that escapes neither "_" nor "%" itself:
    // escaped once more, "a\b" would look for "a\\b".
    bool EscapesPatternEscape() const override { return false; }

    // psqlODBC's positioned write names a row by its ctid alone, which
    // another row takes after a delete and a vacuum: rows are written by key.
    // "BEGIN", not "START TRANSACTION", after which psqlODBC's block reading
    // leaves the first statement outside its savepoints.
    const KeyWriteTraits* KeyWrites() const override {
        static const KeyWriteTraits traits{
            "BEGIN", " FOR UPDATE", "UPDATE ", false, false, true,
            "SELECT CASE WHEN pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on'"
            " THEN 1 ELSE 0 END",
            nullptr,
            // The unique index over the fewest NOT NULL columns (its INCLUDE
            // columns aside), neither partial nor over expressions.
            "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid"
            " AND a.attnum = ANY ((i.indkey::int2[])[0:i.indnkeyatts - 1])"
            " WHERE i.indexrelid = (SELECT u.indexrelid FROM pg_index u"
            " WHERE u.indrelid = (quote_ident(?) || '.' || quote_ident(?))::regclass"
            " AND u.indisunique AND u.indpred IS NULL AND u.indexprs IS NULL AND NOT EXISTS (SELECT 1"
            " FROM pg_attribute n WHERE n.attrelid = u.indrelid"
            " AND n.attnum = ANY ((u.indkey::int2[])[0:u.indnkeyatts - 1]) AND NOT n.attnotnull)"
            " ORDER BY u.indnkeyatts, u.indexrelid LIMIT 1) ORDER BY a.attnum"};
        return &traits;
    }

    // The texts are exact: psqlODBC asks for floats in as many digits as
    // read back as the same value (extra_float_digits 2).
    KeyForm KeyFormFor(int32_t) const override { return KeyForm::Text; }

    // A row that takes a freed slot has the slot's ctid but another xmin; a
    // partitioned table's partitions share ctids, not tableoids.
    std::vector<const char*> RowVersionColumns() const override { return {"tableoid", "ctid", "xmin"}; }
};

}  // namespace

const DriverProfile& PostgresProfile() {
    static const PostgresDriver profile;
    return profile;
}

}  // namespace vordex
