// Short exchanges of the connection's own: a statement run for its effect,
// a value asked for, the database's name.
#include <string>

#include "db/database.h"
#include "db/own_statement.h"

namespace vordex {

bool CDatabase::ExecuteQuietly(const char* sql) {
    const OwnStatement statement(ConnectionHandle);
    return statement && Succeeded(statement.Execute(sql));
}

std::string CDatabase::QueryFirstValue(const char* sql) {
    const OwnStatement statement(ConnectionHandle);
    if (!statement) return "";
    char value[64] = {};
    SQLLEN indicator = SQL_NULL_DATA;
    const bool answered = Succeeded(statement.Execute(sql)) &&
                          Succeeded(SQLBindCol(statement.Handle(), 1, SQL_C_CHAR, value, sizeof value, &indicator)) &&
                          SQLFetch(statement.Handle()) == SQL_SUCCESS && indicator != SQL_NULL_DATA;
    return answered ? value : "";
}

std::string CDatabase::DbmsName() {
    char dbms[32] = {};
    SQLSMALLINT length = 0;
    return Succeeded(SQLGetInfo(ConnectionHandle, SQL_DBMS_NAME, dbms, sizeof dbms, &length)) ? dbms : "";
}

}  // namespace vordex
