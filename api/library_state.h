#pragma once

#include <cstdint>
#include <memory>

#include "db/database.h"
#include "db/text.h"
#include "records/my_rec.h"

namespace vordex::api {

/// Table and field names kept for the host.
constexpr int kListLimit = 32;
/// The column count of VORDEX_Open saturates here.
constexpr int kColumnCountLimit = 512;

/// One table of the last listing as the catalog reported it.
struct ListedTable {
    CText Qualifier;
    CText Owner;
    CText Name;
};

// The library variables: one set per process, unguarded (one caller at a time).
extern std::unique_ptr<CDatabase> activeDatabase;
extern std::unique_ptr<CMyRec> activeRecord;
/// The names handed out for the listed tables: the catalog's name, or
/// "owner.name" where the listing holds that name under several owners.
extern CText tableNames[kListLimit];
extern ListedTable listedTables[kListLimit];
extern int32_t tableCount;
extern CText catalogQualifier;
extern CText catalogOwner;
/// The completed connect string of the connection the tables were listed on.
extern CText listedConnect;
extern CText activeTable;
/// The owner of the table whose columns the last VORDEX_Open listed.
extern CText activeOwner;
extern CText fieldNames[kListLimit];
extern int32_t fieldLengths[kListLimit];
/// The catalog's column size of each listed column: characters for a
/// character type; 0 where the catalog gives none (SQLite's TEXT).
extern int32_t fieldSizes[kListLimit];
/// The catalog's SQL data type of each listed column (SQL_VARCHAR ...).
extern int32_t fieldTypes[kListLimit];
/// The catalog's name of each listed column's type (varchar, bool ...).
extern CText fieldTypeNames[kListLimit];
extern int32_t fieldListCount;
/// The table, its owner or one of its columns (all counted, not only the
/// first 32) has a name that a driver's own statements cannot carry safely.
extern bool fieldListNamesUnsafe;

/// The one static empty text handed out for "no value".
extern const char kEmptyText[];

/// True when 0 <= index < min(count, kListLimit).
inline bool IsListIndex(int index, int32_t count) {
    return index >= 0 && index < count && index < kListLimit;
}

/// How long a call may wait on a server that sends nothing: the connection's
/// query time-out, and a few seconds for the driver's own round trips.
unsigned ServerSilenceLimit();

/// The connection the exported calls work on now: the open record's, else
/// the connection object's; null for none.
CDatabase* ActiveConnection();

/// Closes the open record (when it is open), deletes it, clears activeRecord.
void CloseActiveRecord() noexcept;

/// Closes the connection (when it is open); the object stays. Never throws.
void CloseConnection() noexcept;

/// Closes the open record and the connection and destroys the connection object.
void CloseActiveDatabase() noexcept;

}  // namespace vordex::api
