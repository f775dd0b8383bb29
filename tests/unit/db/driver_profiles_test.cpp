#include <gtest/gtest.h>

#include <string>

#include "db/drivers/driver_profile.h"

using namespace vordex;

namespace {

// A profile's answers that decide how the library reads and writes, in one
// line: static cursor, key writes, rows end only while connected, text
// lengths reported, escape escaped, binary as hex, bits as numbers, row
// version columns, server port.
std::string Answers(const DriverProfile& p) {
    std::string answers;
    for (bool yes : {p.PrefersStaticCursor(), p.KeyWrites() != nullptr, p.RowsEndOnlyOnLiveConnection(),
                     p.TextLengthsReported(), p.EscapesPatternEscape(), p.ReadsBinaryAsHex(), p.ReadsBitsAsNumber()}) {
        answers += yes ? '1' : '0';
    }
    return answers + " " + std::to_string(p.RowVersionColumns().size()) + " " + std::to_string(p.DefaultServerPort());
}

TEST(DriverProfiles, EachDriverIsFoundByItsNamesAndAnswersForItself) {
    struct Case {
        const char* dbms;        // SQL_DBMS_NAME
        const char* driverFile;  // SQL_DRIVER_NAME
        const char* connect;     // how a connect string names it
        const char* profile;
        const char* answers;
    };
    const Case cases[] = {
        {"PostgreSQL", "psqlodbcw.so", "DRIVER={PostgreSQL Unicode};Servername=h", "PostgreSQL", "1111000 3 5432"},
        // psqlODBC is known by its file whatever the server calls itself.
        {"", "PSQLODBC35W.DLL", "Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so", "PostgreSQL", "1111000 3 5432"},
        {"SQLite", "libsqlite3odbc.so", "DRIVER=SQLite3;Database=f", "SQLite", "0101110 0 0"},
        {"MariaDB", "libmaodbc.so", "DRIVER={MariaDB Unicode};Server=h", "MariaDB", "0100111 0 3306"},
        {"MySQL", "libmaodbc.so", "Driver=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so", "MariaDB", "0100111 0 3306"},
        // Any other driver: what ODBC promises, written through its cursor.
        {"Oracle", "libsqora.so", "DRIVER={Oracle 19 ODBC driver}", "generic", "0010100 0 0"},
        {"", "", "DSN=", "generic", "0010100 0 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connect);
        const DriverProfile& connected = ProfileForConnection(c.dbms, c.driverFile);
        EXPECT_STREQ(connected.Name(), c.profile);
        EXPECT_EQ(Answers(connected), c.answers);
        // Before connecting, the DRIVER the connect string names (a DSN's
        // driver is asked of the driver manager, absent here).
        EXPECT_STREQ(ProfileForConnectString(nullptr, c.connect).Name(), c.profile);
    }
    // The generic profile claims nothing: it is what no other claims.
    EXPECT_STREQ(DriverProfiles().back()->Name(), "generic");
}

TEST(DriverProfiles, TypesAreHandledAsTheServerReadsThem) {
    struct Case {
        const DriverProfile& profile;
        int32_t listed;
        const char* typeName;
        int32_t handled;
        KeyForm key;
    };
    const Case cases[] = {
        // MariaDB's driver lists BIT(8) as binary, UUID and INET6 as long binary.
        {MariaDbProfile(), SQL_BINARY, "BIT", SQL_BIT, KeyForm::BitNumber},
        {MariaDbProfile(), SQL_LONGVARBINARY, "uuid", SQL_GUID, KeyForm::Text},
        {MariaDbProfile(), SQL_LONGVARBINARY, "INET6", SQL_GUID, KeyForm::Text},
        {MariaDbProfile(), SQL_LONGVARBINARY, "BLOB", SQL_LONGVARBINARY, KeyForm::HexBytes},
        {MariaDbProfile(), SQL_WVARCHAR, "VARCHAR", SQL_WVARCHAR, KeyForm::HexBytes},
        {MariaDbProfile(), SQL_DOUBLE, "DOUBLE", SQL_DOUBLE, KeyForm::Double},
        {SqliteProfile(), SQL_BINARY, "BIT", SQL_BINARY, KeyForm::SqliteTyped},
        {PostgresProfile(), SQL_DOUBLE, "float8", SQL_DOUBLE, KeyForm::Text},
        {GenericProfile(), SQL_LONGVARBINARY, "uuid", SQL_LONGVARBINARY, KeyForm::Text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile.Name()) + " " + c.typeName);
        EXPECT_EQ(c.profile.SqlTypeAsHandled(c.listed, c.typeName), c.handled);
        EXPECT_EQ(c.profile.KeyFormFor(c.handled), c.key);
    }
}

}  // namespace
