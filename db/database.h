#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "db/code_pages.h"
#include "db/drivers/driver_profile.h"
#include "db/object.h"
#include "db/text.h"
#include "platform/odbc_headers.h"
#include "platform/server_watch.h"

namespace vordex {

class CRecordset;
class CDBException;

/// Option bits of CDatabase::OpenWithOptions.
enum DatabaseOpenOption : uint32_t {
    OpenExclusive = 0x01,
    OpenReadOnly = 0x02,
    UseCursorLibrary = 0x04,
    NoPrompt = 0x08,
    ForcePrompt = 0x10,
};

/// Bits of CDatabase::UpdateCapabilities.
enum UpdateCapability : uint32_t {
    UpdateBySetPos = 0x1,
    UpdateByPositionedSql = 0x2,
    GetDataOnBound = 0x4,
};

/// One ODBC connection.
class CDatabase : public CObject {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    CDatabase() = default;
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;
    ~CDatabase() override;

    /// Checks the "ODBC;" prefix, adds the data-source name, then OpenWithOptions.
    virtual bool Open(const char* dataSource, bool exclusive, bool readOnly, const char* connect, bool cursorLibrary);
    /// Connects; false only when the user cancelled the choice of data source.
    virtual bool OpenWithOptions(const char* connect, uint32_t options);
    /// Closes the open result sets, disconnects and frees the connection handle.
    virtual void Close();
    /// Gives a new statement the query time-out.
    virtual void SetStatementOptions(SQLHSTMT statement);
    /// True for SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA_FOUND.
    virtual bool Succeeded(SQLRETURN rc) const;
    /// Throws the CDBException for `rc` with this connection's diagnostics.
    [[noreturn]] virtual void ThrowError(SQLRETURN rc);

    void AllocateConnection(uint32_t options);
    /// Connects with ConnectString, completed as the driver's profile says
    /// (the profile of the driver it names, chosen here).
    bool DriverConnect(uint32_t options);
    /// Disconnects and connects again with `connect`, without a prompt; on
    /// success ConnectString is the driver's completed string.
    SQLRETURN ConnectAgain(const std::string& connect);
    void VerifyConformance();
    /// Reads what the driver can do, and confirms the driver's profile by
    /// the names the connection gives.
    void ReadCapabilities();
    /// Sets CodePages: the host's code page, and the one the driver's texts
    /// are in as far as the data source tells it (its profile asks).
    void ChooseDriverCodePage();
    /// Watches those of the sockets opened while connecting (in Sockets)
    /// that are surely this connection's; clears Sockets when none is.
    void WatchOwnSockets();
    /// Finds, for the server watch while the connection is made, the one
    /// socket of the login (among those opened since `before`); null where
    /// the server cannot be told by its address or socket file.
    std::function<std::vector<platform::SocketId>()> LoginSockets(const std::vector<platform::SocketId>& before,
                                                                  const std::string& connect) const;
    /// The server's host and port as the completed connect string names
    /// them ("" and `defaultPort` where it does not).
    std::string ServerHost() const;
    int ServerPort(int defaultPort) const;
    /// The same, as the connect string `connect` (or its DSN) names them.
    static std::string ServerHostIn(const char* connect);
    static int ServerPortIn(const char* connect, int defaultPort);
    /// Runs `sql` on a statement of its own; true when it succeeded.
    bool ExecuteQuietly(const char* sql);
    /// The first column of the first row that `sql` answers, as text; ""
    /// when there is none or the statement fails.
    std::string QueryFirstValue(const char* sql);
    /// The data source's SQL_DBMS_NAME ("PostgreSQL", "SQLite", "MariaDB"...).
    std::string DbmsName();
    /// What the library does differently for this connection's driver; the
    /// generic profile until a driver is known.
    const DriverProfile& Profile() const { return *ChosenProfile; }
    /// Close, then release the shared environment when no connection holds it.
    void Free();

    /// Rewrites bracket-quoted identifiers of `sql` in place into QuoteChar.
    void ConvertBrackets(char* sql) const;

    bool IsConnected() const { return ConnectionHandle != nullptr; }
    /// Throws the library's message when the driver would misread `sent`, a
    /// statement in the driver's code page (see QuoteScannedByByte).
    void RefuseStatementDriverMisreads(const CText& sent) const;
    /// The connection's current catalog (SQL_CURRENT_QUALIFIER), in the
    /// host's code page; empty when the driver names none.
    CText CurrentCatalog() const;
    /// True when the driver reports the connection to its server lost
    /// (SQL_ATTR_CONNECTION_DEAD); false while it is alive or cannot tell.
    bool IsConnectionDead() const;
    /// True once the connection to the server is known lost: a failure
    /// said so, or the server watch cut it. Every later call on it fails.
    bool ConnectionLost() const;
    /// Takes note of a failure on this connection: one that lost it makes
    /// ConnectionLost() true.
    void NoteFailure(const CDBException& e);

    SQLHDBC ConnectionHandle = nullptr;
    /// See Profile(); never null.
    const DriverProfile* ChosenProfile = &GenericProfile();
    int32_t UsesCursorLibrary = 0;
    char QuoteChar = ' ';
    /// The driver finds quoted names byte by byte, also in a double-byte
    /// code page, so a second byte equal to QuoteChar ends a name there.
    bool QuoteScannedByByte = false;
    CText ConnectString;
    /// The host's code page and the driver's, set when connected.
    CodePagePair CodePages;
    /// The connect string last given to the driver manager.
    std::string SentConnect;
    /// The connect string as the caller gave it (a data source chosen).
    std::string CallerConnect;
    /// The caller's connect string chose how the driver reads results (see
    /// DriverProfile::ReadingChosenIn).
    bool DriverReadingChosen = false;
    /// Result sets open on this connection, newest first; not owned.
    std::list<CRecordset*> OpenRecordsets;
    int32_t Updatable = 0;
    uint32_t UpdateCapabilities = 0;
    uint32_t BookmarkPersistence = 0;
    /// The data source's SQL_OWNER_USAGE answer: where an owner may qualify a
    /// table name (SQL_OU_DML_STATEMENTS: in SELECT, INSERT, UPDATE, DELETE).
    uint32_t OwnerUsage = 0;
    /// The driver's file name (SQL_DRIVER_NAME), such as "psqlodbca.so".
    CText DriverName;
    /// The profile's answers, kept for the per-row path (see DriverProfile):
    /// a fetch's "no more data" ends the rows only while the connection
    /// lives (psqlODBC's block reading answers a lost connection so) ...
    bool RowsEndOnlyOnLiveConnection = true;
    /// ... and the length the driver gives for a fetched text is where its
    /// first zero byte stands (MariaDB's texts may hold one, which the text
    /// then ends at).
    bool TextLengthsReported = false;
    uint32_t LoginTimeout = 15;
    int32_t QueryTimeout = 15;
    /// The socket of this connection's server, watched for a silent server
    /// while calls wait on it; empty when it could not be told for sure.
    std::vector<platform::SocketId> Sockets;
    /// See ConnectionLost().
    bool Lost = false;
};

}  // namespace vordex
