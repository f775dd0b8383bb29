#include "records/row_key.h"

#include "platform/odbc_headers.h"

#include <cctype>
#include <cstring>
#include <string>

#include "records/catalog_open.h"

namespace vordex {

bool SetPosRewritesEveryColumn(const CDatabase& database) {
    std::string name = database.DriverName.c_str();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name.find("sqlite3odbc") != std::string::npos;
}

std::vector<uint32_t> PrimaryKeyFields(CDatabase& database, const CText& owner, const CText& table,
                                       const CText* names, uint32_t count) {
    std::vector<uint32_t> fields;
    SQLHSTMT statement = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocStmt(database.ConnectionHandle, &statement))) return fields;
    CText sent[2];
    bool complete = SQL_SUCCEEDED(SQLPrimaryKeys(statement, nullptr, 0, CatalogArgument(database, owner, sent[0]),
                                                 SQL_NTS, CatalogArgument(database, table, sent[1]), SQL_NTS));
    SQLCHAR column[256];
    SQLLEN indicator = 0;
    // COLUMN_NAME; the rows come in key order (KEY_SEQ).
    complete = complete && SQL_SUCCEEDED(SQLBindCol(statement, 4, SQL_C_CHAR, column, sizeof column, &indicator));
    SQLRETURN rc = SQL_NO_DATA;
    while (complete && SQL_SUCCEEDED(rc = SQLFetch(statement))) {
        const CText name = database.CodePages.ToHost(reinterpret_cast<const char*>(column));
        uint32_t i = 0;
        while (i < count && names[i] != name) ++i;
        if (indicator == SQL_NULL_DATA || i == count) complete = false;
        fields.push_back(i);
    }
    if (rc != SQL_NO_DATA) complete = false;
    SQLFreeStmt(statement, SQL_DROP);
    if (!complete) fields.clear();
    return fields;
}

}  // namespace vordex
