#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "db/drivers/key_forms.h"
#include "db/text.h"
#include "platform/code_page.h"
#include "platform/odbc_headers.h"

namespace vordex {

class CDatabase;

/// What the library does differently for one ODBC driver: every question it
/// asks about a driver, each named for the behaviour it decides, answered in
/// that driver's own file with the reason beside it. These answers (the
/// generic profile's, in generic_profile.cpp) suit any driver the library
/// does not know.
///
/// Each profile is one object that lives as long as the process: no
/// destructor runs at exit, so a call still running in another thread then
/// finds it whole (the profiles hold no state, and are never deleted).
class DriverProfile {
public:
    DriverProfile() = default;
    DriverProfile(const DriverProfile&) = delete;
    DriverProfile& operator=(const DriverProfile&) = delete;

    /// "PostgreSQL", "SQLite", "MariaDB", or "generic".
    virtual const char* Name() const;

    // Which driver it is.

    /// True for a driver whose name (a connect string's DRIVER, or a data
    /// source's driver as the driver manager or odbc.ini gives it), in lower
    /// case, holds one of this driver's words.
    virtual bool NamesThisDriver(const std::string& lowerName) const;
    /// True for a connection whose SQL_DBMS_NAME and SQL_DRIVER_NAME (the
    /// driver's file) are this driver's.
    virtual bool ServesConnection(const std::string& dbmsName, const std::string& driverFile) const;

    // Connecting.

    /// `connect` with what the driver needs added; the caller's own keys stay.
    virtual std::string PrepareConnectString(const CDatabase& database, const std::string& connect) const;
    /// After a failed connect with `connect`: throws the library's message
    /// where it can say better than the driver why; else returns.
    virtual void ExplainFailedConnect(const std::string& connect) const;
    /// The code page of the driver's texts, once connected; may set the
    /// session's so that it holds every character.
    virtual platform::CodePage DriverCodePage(CDatabase& database) const;
    /// The driver finds the end of a quoted name byte by byte in
    /// `driverCodePage`, so a second byte equal to the quote ends it there.
    virtual bool ScansQuotesByByte(platform::CodePage driverCodePage) const;
    /// Bounds the session's waits for locks and statements by the query
    /// time-out (called only where there is one); failures are ignored.
    virtual void BoundWaits(CDatabase& database) const;
    /// Statements that bound the waits of the library's own write
    /// transaction, run after it begins; "" where the session's (BoundWaits)
    /// serve. Scoped to the transaction, they leave nothing on a server
    /// connection that a pool hands on to other clients.
    virtual std::string WriteWaitBounds(const CDatabase& database) const;
    /// The driver carries out a statement's query time-out by setting one
    /// of the session, which outlives the statement: the library then gives
    /// its statements none, and the server watch bounds the wait.
    virtual bool TimeoutOutlivesStatement() const;
    /// Throws the driver's message where the data source cannot be read,
    /// which the driver's catalog calls would keep to themselves.
    virtual void CheckReadable(CDatabase& database) const;

    // The server watch.

    /// Answers the client port of the session as the server sees it; null
    /// where the server cannot say.
    virtual const char* ClientPortQuery() const;
    /// The server's port where the connect string names none; 0 where the
    /// connection's socket cannot be told by its peer (a file, no server).
    virtual int DefaultServerPort() const;
    /// The server's socket file where a connection made with `connect` (or
    /// its DSN) reaches it through a Unix-domain socket: a path, or a file
    /// name in any directory; "" where it goes over TCP.
    virtual std::string LocalSocketPath(const std::string& connect) const;

    // Reading.

    /// A fetch's "no more data" ends the rows only while the connection
    /// lives; false where the cursor holds every row from execution on.
    virtual bool RowsEndOnlyOnLiveConnection() const;
    /// The length the driver gives for a fetched text is where its first
    /// zero byte stands.
    virtual bool TextLengthsReported() const;
    /// A static cursor serves better than the keyset-driven one it offers.
    virtual bool PrefersStaticCursor() const;
    /// A catalog pattern's escape character escapes itself too.
    virtual bool EscapesPatternEscape() const;
    /// The SQL type by which the library reads, compares and writes a
    /// column that the catalog lists as `listedType`, of the driver's type
    /// `typeName`.
    virtual int32_t SqlTypeAsHandled(int32_t listedType, const char* typeName) const;
    /// Binary columns are read as hex text by the statement (lower(hex(c)),
    /// which the driver's SQL knows), where the driver would give their bytes.
    virtual bool ReadsBinaryAsHex() const;
    /// SQL_BIT columns hold a number of bits, read as CAST(c AS UNSIGNED)
    /// and written as CAST(? AS UNSIGNED).
    virtual bool ReadsBitsAsNumber() const;
    /// The character the library quotes names in, the driver having
    /// reported `reported`.
    virtual char IdentifierQuote(char reported) const;

    /// The data source's SQL takes "ORDER BY ... LIMIT n": a table with a key
    /// is read in blocks by key, through the library's own keyset cursor.
    virtual bool ReadsInBlocksByKey() const;
    /// The column that numbers the rows of `table` in a stable order of
    /// their own (SQLite's rowid), by which they are read in blocks; null
    /// for none (a view, a table without one), where the key serves.
    virtual const char* RowNumberColumn(CDatabase& database, const CText& table) const;
    /// True when `connect` (as the caller gave it) chooses how the driver
    /// reads a result itself: then the driver's own cursor reads the rows.
    virtual bool ReadingChosenIn(const std::string& connect) const;

    // Writing by key.

    /// How rows are written by key; null where the library writes through
    /// the cursor's own positioned write.
    virtual const KeyWriteTraits* KeyWrites() const;
    /// The form in which a key column of `sqlType` names its row.
    virtual KeyForm KeyFormFor(int32_t sqlType) const;
    /// The form in which a listed column's value is compared before a write
    /// where its text as read is not exact; KeyForm::Text where it is.
    /// `driverTextLossy`: the connection's character set lacks characters.
    virtual KeyForm CompareFormFor(int32_t sqlType, bool driverTextLossy) const;
    /// The system columns that name a row version where a table has no key
    /// (a row that takes a freed slot has another version); empty for none.
    virtual std::vector<const char*> RowVersionColumns() const;
    /// True when `table`'s one-column key is the row's own number, which
    /// the listed column reads exactly (SQLite's INTEGER PRIMARY KEY).
    virtual bool KeyIsRowNumber(CDatabase& database, const CText& table) const;
};

/// The profile of any ODBC driver the library does not know.
const DriverProfile& GenericProfile();
const DriverProfile& PostgresProfile();
const DriverProfile& SqliteProfile();
const DriverProfile& MariaDbProfile();

/// Every profile the library knows, the generic one last: a driver is the
/// first one that claims it.
const std::array<const DriverProfile*, 4>& DriverProfiles();

/// The profile of the driver that `connect` reaches: its DRIVER names it,
/// or its DSN is one whose driver does, as the driver manager lists it or,
/// for a data source it does not list, as the data source's own Driver
/// setting says (iODBC lists only those of odbc.ini's [ODBC Data Sources]).
const DriverProfile& ProfileForConnectString(SQLHENV environment, const std::string& connect);

/// The profile of a connected driver by its SQL_DBMS_NAME and file name.
const DriverProfile& ProfileForConnection(const std::string& dbmsName, const std::string& driverFile);

}  // namespace vordex
