// The exports that list tables and columns.
#include <cstring>
#include <memory>

#include "api/guarded_call.h"
#include "api/library_call.h"
#include "api/library_state.h"
#include "api/show_message.h"
#include "db/bracket_name.h"
#include "db/library_messages.h"
#include "platform/code_page.h"
#include "records/columns.h"
#include "records/tables.h"
#include "vordex.h"

namespace vordex::api {
namespace {

// Tried in this order; a later filter only when the earlier ones listed nothing.
constexpr const char* kTableTypeFilters[] = {"'TABLE'", "'SYSTEM TABLE','VIEW','SYNONYM'", ""};

/// The connection object, made where there is none; a connection known
/// lost is closed, so that the call connects anew.
void EnsureDatabase() {
    if (!activeDatabase) activeDatabase = std::make_unique<CDatabase>();
    if (activeDatabase->IsConnected() && activeDatabase->ConnectionLost()) {
        CloseActiveRecord();
        CloseConnection();
    }
}

/// True when `name` is "owner.name" of `table`.
bool IsOwnerDotName(const char* name, const ListedTable& table) {
    const size_t ownerLength = table.Owner.Length();
    return ownerLength != 0 && std::strlen(name) == ownerLength + 1 + table.Name.Length() &&
           std::memcmp(name, table.Owner.c_str(), ownerLength) == 0 && name[ownerLength] == '.' &&
           table.Name == name + ownerLength + 1;
}

/// The names handed out for the listed tables. A name listed under more than
/// one owner (schema), or one that reads as another listed table's
/// "owner.name" (a table named "s2.t" beside s2's t), is handed out as
/// "owner.name", so that each entry opens its own table.
void NameListedTables() {
    for (int i = 0; i < tableCount; ++i) {
        const ListedTable& table = listedTables[i];
        bool shared = false;
        for (int j = 0; j < tableCount && !shared; ++j) {
            shared =
                j != i && (listedTables[j].Name == table.Name || IsOwnerDotName(table.Name.c_str(), listedTables[j]));
        }
        tableNames[i].Clear();
        if (shared && !table.Owner.IsEmpty()) {
            tableNames[i].Append(table.Owner);
            tableNames[i].Append(".");
        }
        tableNames[i].Append(table.Name);
    }
}

/// The listed table that `name` names: the one handed out under that name,
/// else the one whose "owner.name" it is; null when it names none.
/// `other`: a second listed table that `name` names as OWNER.TABLE too (a
/// table "b.c" of owner "a" beside a table "c" of owner "a.b"), else null.
const ListedTable* FindListedTable(const char* name, const ListedTable*& other) {
    other = nullptr;
    for (int i = 0; i < tableCount; ++i) {
        if (tableNames[i] == name) return &listedTables[i];
    }
    const ListedTable* found = nullptr;
    for (int i = 0; i < tableCount; ++i) {
        if (!IsOwnerDotName(name, listedTables[i])) continue;
        if (found == nullptr) {
            found = &listedTables[i];
        } else if (other == nullptr) {
            other = &listedTables[i];
        }
    }
    return found;
}

/// True when `name` cannot stand safely in a statement that a driver composes
/// itself with `quoteChar` around names: psqlODBC's SQLSetPos writes put the
/// table's and the columns' names in quotes without doubling a quote inside
/// them, so such a name would reach the server as SQL text.
bool BreaksDriverQuoting(const CText& name, char quoteChar) {
    for (const char* p = name.c_str(); *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        // Without a quote character only a plain identifier stands for itself.
        const bool plain = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c >= 0x80;
        if (quoteChar == ' ' ? !plain : *p == quoteChar) return true;
    }
    return false;
}

/// Lists the first table type filter that gives names; false when the data
/// source choice was cancelled.
bool ListTables() {
    CTables tables(activeDatabase.get());
    for (const char* filter : kTableTypeFilters) {
        tables.TableTypeParam = filter;
        if (!tables.Open(KeysetCursor, nullptr, OptReadOnly)) return false;
        catalogQualifier = tables.TableQualifier;
        catalogOwner = tables.TableOwner;
        listedConnect = activeDatabase->ConnectString;
        for (int n = 0;; ++n) {
            tableCount = n;
            if (tables.AtEnd || n == kListLimit) break;
            listedTables[n] = {tables.TableQualifier, tables.TableOwner, tables.TableName};
            tables.Move(1, SQL_FETCH_NEXT);
        }
        tables.Close();
        if (tableCount != 0) {
            NameListedTables();
            return true;
        }
    }
    ShowLibraryMessage(MessageNoTableFound);
    return true;
}

/// The message for a table of which the catalog lists no column: where it was
/// looked for, then the fixed advice.
void ShowNoFieldMessage(const CText& qualifier) {
    CText message(qualifier);
    if (!activeTable.IsEmpty()) {
        if (!message.IsEmpty()) message.Append("-");
        message.Append(activeTable);
    }
    CText part;
    if (!message.IsEmpty() && LoadLibraryMessage(MessageInsideSuffix, part)) message.Append(part);
    if (LoadLibraryMessage(MessageNoFieldFound, part)) message.Append(part);
    ShowMessage(message.c_str(), nullptr);
}

/// OWNER.TABLE with each part quoted as the data source quotes names.
CText QuotedPair(const CText& owner, const CText& table) {
    CText pair = BracketName(owner.c_str(), activeDatabase->QuoteChar);
    pair.Append(".");
    pair.Append(BracketName(table.c_str(), activeDatabase->QuoteChar));
    activeDatabase->ConvertBrackets(pair.Buffer());
    pair.SyncLength();
    return pair;
}

/// True when the data source reads OWNER.TABLE: a driver whose catalog
/// takes no owner (SQLite's) answers for the table of that name wherever it
/// is, and only the name itself tells whether the owner is a place it knows.
bool ReadsQualifiedName(const CText& owner, const CText& table) {
    CText sql("SELECT * FROM ");
    sql.Append(QuotedPair(owner, table));
    sql.Append(" WHERE 1=0");
    CText converted;
    return activeDatabase->ExecuteQuietly(activeDatabase->CodePages.ForDriver(sql, converted).c_str());
}

/// Lists the columns of `table` under `owner` into the field list; false
/// when the catalog could not be asked (the message is shown). The count is
/// in fieldListCount.
bool ListColumnsOf(const CText& qualifier, const CText& owner, const CText& table) {
    CColumns columns(activeDatabase.get());
    columns.QualifierParam = qualifier;
    columns.OwnerParam = owner;
    columns.TableNameParam = table;
    if (!columns.Open(KeysetCursor, nullptr, OptReadOnly)) {
        ShowLibraryMessage(MessageTableCannotOpen);
        return false;
    }
    // The record reads the table whose columns these are.
    activeTable = table;
    activeOwner = columns.TableOwner;
    const char quoteChar = activeDatabase->QuoteChar;
    fieldListNamesUnsafe = BreaksDriverQuoting(activeTable, quoteChar) || BreaksDriverQuoting(activeOwner, quoteChar);
    const DriverProfile& profile = activeDatabase->Profile();
    for (int n = 0;; ++n) {
        fieldListCount = n;
        if (columns.AtEnd || n == kColumnCountLimit) break;
        if (BreaksDriverQuoting(columns.ColumnName, quoteChar)) fieldListNamesUnsafe = true;
        if (n < kListLimit) {
            fieldNames[n] = columns.ColumnName;
            fieldLengths[n] = columns.Length;
            fieldSizes[n] = columns.Precision;
            fieldTypes[n] = profile.SqlTypeAsHandled(columns.DataType, columns.TypeName.c_str());
            fieldTypeNames[n] = columns.TypeName;
        }
        columns.Move(1, SQL_FETCH_NEXT);
    }
    columns.Close();
    // A catalog that answers with no owner where one was asked dropped it:
    // it holds only where the data source reads the name with it ("main.t"
    // on SQLite, not "other.t"), and then the record names it so too.
    if (fieldListCount > 0 && !owner.IsEmpty() && activeOwner.IsEmpty()) {
        if (!ReadsQualifiedName(owner, table)) {
            fieldListCount = 0;
        } else {
            activeOwner = owner;
            fieldListNamesUnsafe = fieldListNamesUnsafe || BreaksDriverQuoting(owner, quoteChar);
        }
    }
    return true;
}

/// True when the catalog lists a column of `table` under `owner`.
bool HasColumns(const CText& qualifier, const CText& owner, const CText& table) {
    CColumns columns(activeDatabase.get());
    columns.QualifierParam = qualifier;
    columns.OwnerParam = owner;
    columns.TableNameParam = table;
    return columns.Open(KeysetCursor, nullptr, OptReadOnly) && !columns.AtEnd;
}

/// Says that a name names two tables, and which.
void ShowAmbiguousName(const CText& owner1, const CText& table1, const CText& owner2, const CText& table2) {
    CText message;
    LoadLibraryMessage(MessageAmbiguousName, message);
    message.Append("\n");
    message.Append(QuotedPair(owner1, table1));
    message.Append("\n");
    message.Append(QuotedPair(owner2, table2));
    ShowMessage(message.c_str(), nullptr);
}

void ListColumns(const char* tableName) {
    // The listing names tables of the data source it was made on: connected
    // anew to another one (after VORDEX_Close), the library forgets it.
    if (!activeDatabase->IsConnected() && !activeDatabase->Open(nullptr, false, false, "ODBC;", false)) {
        ShowLibraryMessage(MessageTableCannotOpen);
        return;
    }
    if (!listedConnect.IsEmpty() && activeDatabase->ConnectString != listedConnect) {
        tableCount = 0;
        catalogQualifier.Clear();
        catalogOwner.Clear();
        listedTables[0] = {};
        listedConnect.Clear();
    }
    // A listed table is looked for under its own owner; any other name under
    // the owner of the first listed table.
    const ListedTable* other = nullptr;
    const ListedTable* listed = FindListedTable(tableName, other);
    if (other != nullptr) {
        ShowAmbiguousName(listed->Owner, listed->Name, other->Owner, other->Name);
        return;
    }
    activeTable = listed != nullptr ? listed->Name.c_str() : tableName;
    activeOwner.Clear();
    // The catalog takes an empty name for "every table": no table is named
    // "", nor by bytes that are no text of the host's code page.
    if (activeTable.IsEmpty() ||
        !platform::IsValidText(activeTable.c_str(), activeTable.Length(), platform::HostCodePage())) {
        ShowNoFieldMessage(catalogQualifier);
        return;
    }
    // A directory that VORDEX_GetDirName found replaces every listed qualifier.
    const bool qualifierReplaced = catalogQualifier != listedTables[0].Qualifier;
    const CText qualifier = listed != nullptr && !qualifierReplaced ? listed->Qualifier : catalogQualifier;
    const CText name = activeTable;
    if (!ListColumnsOf(qualifier, listed != nullptr ? listed->Owner : catalogOwner, name)) return;
    // A name that is no table of that owner but reads as OWNER.TABLE names
    // that owner's table, listed or not (a view, a schema the listing did not
    // reach): the first dot that splits it into an owner and a table with
    // columns.
    const char* dot = listed == nullptr ? std::strchr(name.c_str(), '.') : nullptr;
    const bool split = fieldListCount == 0 && dot != nullptr;
    for (; fieldListCount == 0 && dot != nullptr; dot = std::strchr(dot + 1, '.')) {
        const CText owner(name.c_str(), static_cast<size_t>(dot - name.c_str()));
        if (!owner.IsEmpty() && dot[1] != '\0' && !ListColumnsOf(qualifier, owner, CText(dot + 1))) return;
    }
    // A name that splits into two tables (a."b.c" beside "a.b".c) names
    // neither: the later dots are tried too.
    for (; split && fieldListCount > 0 && dot != nullptr; dot = std::strchr(dot + 1, '.')) {
        const CText owner(name.c_str(), static_cast<size_t>(dot - name.c_str()));
        const CText table(dot + 1);
        if (table.IsEmpty() || !HasColumns(qualifier, owner, table)) continue;
        fieldListCount = 0;
        ShowAmbiguousName(activeOwner, activeTable, owner, table);
        return;
    }
    if (fieldListCount == 0) {
        activeTable = name;  // the message names the table as given
        ShowNoFieldMessage(qualifier);
    }
}

/// "DefaultDir=" and the bytes after it up to the next ";" (the key found
/// anywhere, case-sensitive); false when it is missing or empty.
bool FindDefaultDir(const char* connect, CText& value) {
    static constexpr char kKey[] = "DefaultDir=";
    const char* start = std::strstr(connect, kKey);
    if (start == nullptr) return false;
    start += sizeof kKey - 1;
    const size_t length = std::strcspn(start, ";");
    if (length == 0) return false;
    value.Assign(start, length);
    return true;
}

}  // namespace
}  // namespace vordex::api

using namespace vordex;
using namespace vordex::api;

extern "C" {

VORDEX_API int VORDEX_CALL VORDEX_Table(void) {
    const LibraryCall call;
    tableCount = 0;
    GuardedCall(
        false,
        [] {
            EnsureDatabase();
            // Each listing connects anew, so the data source is chosen again.
            if (activeDatabase->IsConnected()) activeDatabase->Close();
            return ListTables();
        },
        [] { tableCount = 0; });
    if (tableCount == 0) CloseConnection();
    return tableCount;
}

VORDEX_API const char* VORDEX_CALL VORDEX_GetTableList(int index) {
    const LibraryCall call;
    return IsListIndex(index, tableCount) ? tableNames[index].c_str() : kEmptyText;
}

VORDEX_API const char* VORDEX_CALL VORDEX_GetDirName(void) {
    const LibraryCall call;
    if (!activeDatabase) return kEmptyText;
    CText value;
    if (FindDefaultDir(activeDatabase->ConnectString.c_str(), value)) catalogQualifier = value;
    return catalogQualifier.c_str();
}

VORDEX_API int VORDEX_CALL VORDEX_Open(const char* tableName) {
    const LibraryCall call;
    if (tableName == nullptr) return 0;
    fieldListCount = 0;
    GuardedCall(
        0,
        [tableName] {
            EnsureDatabase();
            ListColumns(tableName);
            return 0;
        },
        [] { fieldListCount = 0; });
    if (fieldListCount == 0) {
        // A record opened now reads no table, least of all one by a name
        // the catalog refused.
        activeTable.Clear();
        activeOwner.Clear();
        CloseConnection();
    }
    return fieldListCount;
}

VORDEX_API const char* VORDEX_CALL VORDEX_GetNameList(int index) {
    const LibraryCall call;
    return IsListIndex(index, fieldListCount) ? fieldNames[index].c_str() : kEmptyText;
}

}  // extern "C"
