// The exports that list tables and columns.
#include <cstring>
#include <memory>

#include "api/guarded_call.h"
#include "api/library_state.h"
#include "api/show_message.h"
#include "db/library_messages.h"
#include "records/columns.h"
#include "records/tables.h"
#include "vordex.h"

namespace vordex::api {
namespace {

// Tried in this order; a later filter only when the earlier ones listed nothing.
constexpr const char* kTableTypeFilters[] = {"'TABLE'", "'SYSTEM TABLE','VIEW','SYNONYM'", ""};

void ShowLibraryMessage(unsigned id) {
    CText text;
    LoadLibraryMessage(id, text);
    ShowMessage(text.c_str(), nullptr);
}

void EnsureDatabase() {
    if (!activeDatabase) activeDatabase = std::make_unique<CDatabase>();
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
        for (int n = 0;; ++n) {
            tableCount = n;
            if (tables.AtEnd || n == kListLimit) break;
            tableNames[n] = tables.TableName;
            tables.Move(1, SQL_FETCH_NEXT);
        }
        tables.Close();
        if (tableCount != 0) return true;
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

void ListColumns(const char* tableName) {
    activeTable = tableName;
    // The catalog takes an empty name for "every table": no table is named "".
    if (*tableName == '\0') {
        ShowNoFieldMessage(catalogQualifier);
        return;
    }
    CColumns columns(activeDatabase.get());
    columns.QualifierParam = catalogQualifier;
    columns.OwnerParam = catalogOwner;
    columns.TableNameParam = tableName;
    if (!columns.Open(KeysetCursor, nullptr, OptReadOnly)) {
        ShowLibraryMessage(MessageTableCannotOpen);
        return;
    }
    for (int n = 0;; ++n) {
        fieldListCount = n;
        if (columns.AtEnd || n == kColumnCountLimit) break;
        if (n < kListLimit) {
            fieldNames[n] = columns.ColumnName;
            fieldLengths[n] = columns.Length;
        }
        columns.Move(1, SQL_FETCH_NEXT);
    }
    if (fieldListCount == 0) ShowNoFieldMessage(columns.QualifierParam);
    columns.Close();
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

VORDEX_API int VORDEX_Table(void) {
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

VORDEX_API const char* VORDEX_GetTableList(int index) {
    return IsListIndex(index, tableCount) ? tableNames[index].c_str() : kEmptyText;
}

VORDEX_API const char* VORDEX_GetDirName(void) {
    if (!activeDatabase) return kEmptyText;
    CText value;
    if (FindDefaultDir(activeDatabase->ConnectString.c_str(), value)) catalogQualifier = value;
    return catalogQualifier.c_str();
}

VORDEX_API int VORDEX_Open(const char* tableName) {
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
    if (fieldListCount == 0) CloseConnection();
    return fieldListCount;
}

VORDEX_API const char* VORDEX_GetNameList(int index) {
    return IsListIndex(index, fieldListCount) ? fieldNames[index].c_str() : kEmptyText;
}

}  // extern "C"
