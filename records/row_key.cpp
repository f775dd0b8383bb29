#include "records/row_key.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "db/hex_text.h"
#include "db/sql_types.h"
#include "platform/code_page.h"
#include "records/catalog_open.h"

namespace vordex {

KeyWriteDialect KeyWriteDialectOf(CDatabase& database) {
    const std::string dbms = database.DbmsName();
    if (dbms == "PostgreSQL") return KeyWriteDialect::Postgres;
    if (dbms == "SQLite") return KeyWriteDialect::Sqlite;
    if (CDatabase::IsMariaDb(dbms)) return KeyWriteDialect::MariaDb;
    return KeyWriteDialect::None;
}

const KeyWriteTraits& TraitsOf(KeyWriteDialect dialect) {
    // psqlODBC: "BEGIN", not "START TRANSACTION", after which its block
    // reading leaves the first statement outside its savepoints.
    static const KeyWriteTraits kPostgres{
        "BEGIN",
        " FOR UPDATE",
        "UPDATE ",
        false,
        false,
        true,
        "SELECT CASE WHEN pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on' THEN 1 ELSE 0 END",
        nullptr,
        // The unique index over the fewest NOT NULL columns (its INCLUDE
        // columns aside), neither partial nor over expressions.
        "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid"
        " AND a.attnum = ANY ((i.indkey::int2[])[0:i.indnkeyatts - 1])"
        " WHERE i.indexrelid = (SELECT u.indexrelid FROM pg_index u"
        " WHERE u.indrelid = (quote_ident(?) || '.' || quote_ident(?))::regclass"
        " AND u.indisunique AND u.indpred IS NULL AND u.indexprs IS NULL AND NOT EXISTS (SELECT 1 FROM pg_attribute n"
        " WHERE n.attrelid = u.indrelid AND n.attnum = ANY ((u.indkey::int2[])[0:u.indnkeyatts - 1])"
        " AND NOT n.attnotnull) ORDER BY u.indnkeyatts, u.indexrelid LIMIT 1) ORDER BY a.attnum"};
    // SQLite: the write lock at once, so that no other writer comes between
    // the check and the write.
    static const KeyWriteTraits kSqlite{"BEGIN IMMEDIATE", "", "UPDATE OR ABORT ", false, false, false,
                                        nullptr, nullptr, nullptr};
    static const KeyWriteTraits kMariaDb{"START TRANSACTION", " FOR UPDATE", "UPDATE ", true, true, false,
                                         "SELECT @@read_only OR @@tx_read_only",
                                         // 'PRI' marks a unique key over NOT NULL columns too, where the
                                         // table has no primary key: the server uses it as one.
                                         "SELECT COLUMN_NAME FROM information_schema.COLUMNS"
                                         " WHERE TABLE_SCHEMA = COALESCE(NULLIF(?, ''), DATABASE())"
                                         " AND TABLE_NAME = ? AND COLUMN_KEY = 'PRI' ORDER BY ORDINAL_POSITION",
                                         nullptr};
    static const KeyWriteTraits kNone{"BEGIN", "", "UPDATE ", false, false, false, nullptr, nullptr, nullptr};
    switch (dialect) {
        case KeyWriteDialect::Postgres:
            return kPostgres;
        case KeyWriteDialect::Sqlite:
            return kSqlite;
        case KeyWriteDialect::MariaDb:
            return kMariaDb;
        default:
            return kNone;
    }
}

KeyForm CompareFormFor(KeyWriteDialect dialect, int32_t sqlType, bool driverTextLossy) {
    // PostgreSQL's texts are exact: psqlODBC asks for floats in as many
    // digits as read back as the same value (extra_float_digits 2).
    if (dialect == KeyWriteDialect::Sqlite && IsApproximateSqlType(sqlType)) return KeyForm::SqliteTyped;
    if (dialect == KeyWriteDialect::MariaDb) {
        if (IsApproximateSqlType(sqlType)) return KeyForm::Double;
        if (driverTextLossy && IsCharacterSqlType(sqlType)) return KeyForm::HexBytes;
    }
    return KeyForm::Text;
}

KeyForm KeyFormFor(KeyWriteDialect dialect, int32_t sqlType) {
    if (dialect == KeyWriteDialect::Postgres) return KeyForm::Text;
    if (dialect == KeyWriteDialect::Sqlite) return KeyForm::SqliteTyped;
    if (sqlType == SQL_BIT) return KeyForm::BitNumber;
    if (IsCharacterSqlType(sqlType) || IsBinarySqlType(sqlType)) return KeyForm::HexBytes;
    if (IsApproximateSqlType(sqlType)) return KeyForm::Double;
    return KeyForm::Text;
}

int32_t SqlTypeAsHandled(KeyWriteDialect dialect, int32_t listedType, const char* typeName) {
    if (dialect != KeyWriteDialect::MariaDb || typeName == nullptr) return listedType;
    const auto is = [typeName](const char* name) {
        return std::strlen(typeName) == std::strlen(name) && platform::StartsWithNoCase(typeName, name);
    };
    if (is("BIT")) return SQL_BIT;
    if (is("UUID") || is("INET4") || is("INET6")) return SQL_GUID;
    return listedType;
}

bool IsSqliteRowidAlias(CDatabase& database, const CText& table) {
    // "INTEGER PRIMARY KEY DESC" and WITHOUT ROWID tables keep an index
    // for their key; the rowid needs none.
    static const char kSql[] =
        "SELECT (SELECT count(*) FROM pragma_table_info(?) WHERE pk > 0) = 1"
        " AND (SELECT upper(type) FROM pragma_table_info(?) WHERE pk = 1) = 'INTEGER'"
        " AND NOT EXISTS (SELECT 1 FROM pragma_index_list(?) WHERE origin = 'pk')";
    SQLHSTMT statement = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocStmt(database.ConnectionHandle, &statement))) return false;
    CText converted;
    const CText& name = database.CodePages.ForDriver(table, converted);
    SQLLEN length = static_cast<SQLLEN>(name.Length());
    bool bound = true;
    for (SQLUSMALLINT marker = 1; marker <= 3; ++marker) {
        bound =
            bound && SQL_SUCCEEDED(SQLBindParameter(statement, marker, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                                    name.Length() + 1, 0, const_cast<char*>(name.c_str()), 0, &length));
    }
    std::string answer;
    bool isNull = true;
    const bool asked =
        bound &&
        SQL_SUCCEEDED(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSql)), SQL_NTS)) &&
        SQL_SUCCEEDED(SQLFetch(statement)) && SQL_SUCCEEDED(ReadWholeText(statement, 1, answer, isNull));
    SQLFreeStmt(statement, SQL_DROP);
    return asked && !isNull && answer == "1";
}

CText KeyFormExpression(KeyForm form, const CText& bracketedName) {
    const char* name = bracketedName.c_str();
    CText expression;
    switch (form) {
        case KeyForm::SqliteTyped:
            // quote() writes a REAL with as many digits as it takes to read
            // back as the same double; hex() keeps every byte of a text,
            // zero bytes too.
            expression.Append("typeof(");
            expression.Append(name);
            expression.Append(")||':'||CASE typeof(");
            expression.Append(name);
            expression.Append(") WHEN 'integer' THEN ");
            expression.Append(name);
            expression.Append(" WHEN 'real' THEN quote(");
            expression.Append(name);
            expression.Append(") ELSE hex(");
            expression.Append(name);
            expression.Append(") END");
            break;
        case KeyForm::HexBytes:
            expression.Append("HEX(");
            expression.Append(name);
            expression.Append(")");
            break;
        case KeyForm::BitNumber:
            expression.Append("CAST(");
            expression.Append(name);
            expression.Append(" AS UNSIGNED)");
            break;
        case KeyForm::Double:
        case KeyForm::Text:
        case KeyForm::RowidAlias:
            expression.Append(name);
            break;
    }
    return expression;
}

SQLRETURN ReadWholeText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out, bool& isNull) {
    char buffer[512];
    SQLLEN indicator = 0;
    out.clear();
    isNull = false;
    for (;;) {
        const SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) return SQL_SUCCESS;
        if (!SQL_SUCCEEDED(rc)) return rc;
        isNull = indicator == SQL_NULL_DATA;
        if (isNull) return SQL_SUCCESS;
        // A part that did not fit fills the buffer but for its terminator.
        const bool more = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
        out.append(buffer, more ? sizeof buffer - 1 : static_cast<size_t>(indicator));
        if (!more) return SQL_SUCCESS;
    }
}

namespace {

bool ParseInteger(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool ParseReal(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0';
}

void SetBytes(KeyValue& value, SQLSMALLINT cType, SQLSMALLINT sqlType) {
    value.CType = cType;
    value.SqlType = sqlType;
    value.Indicator = static_cast<SQLLEN>(value.Bytes.size());
}

/// SQLite's "type:value" form.
bool ParseSqliteForm(KeyValue& value) {
    const size_t colon = value.Form.find(':');
    if (colon == std::string::npos) return false;
    const std::string type = value.Form.substr(0, colon);
    const std::string rest = value.Form.substr(colon + 1);
    if (type == "null") {
        value.IsNull = true;
        return true;
    }
    if (type == "integer") {
        value.CType = SQL_C_SBIGINT;
        value.SqlType = SQL_BIGINT;
        value.Indicator = 0;
        return ParseInteger(rest, value.Integer);
    }
    if (type == "real") {
        value.CType = SQL_C_DOUBLE;
        value.SqlType = SQL_DOUBLE;
        value.Indicator = 0;
        return ParseReal(rest, value.Real);
    }
    if (type != "text" && type != "blob") return false;
    if (!DecodeHex(rest.data(), rest.size(), value.Bytes)) return false;
    // Sent as a blob, which a text compares unequal to: SQLite's driver
    // ends a character parameter at its first zero byte. Compared byte for
    // byte, whatever the column's collation: a NOCASE column under a BINARY
    // key holds 'a' and 'A'.
    if (type == "text") value.Comparison = "=CAST(? AS TEXT) COLLATE BINARY";
    SetBytes(value, SQL_C_BINARY, SQL_VARBINARY);
    return true;
}

}  // namespace

SQLRETURN ReadKeyValue(SQLHSTMT statement, SQLUSMALLINT column, KeyForm form, KeyValue& value) {
    value = KeyValue{};
    if (form == KeyForm::Double) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(statement, column, SQL_C_DOUBLE, &value.Real, 0, &indicator);
        if (!SQL_SUCCEEDED(rc)) return rc;
        value.IsNull = indicator == SQL_NULL_DATA;
        // The double's bytes: equal forms are equal numbers.
        if (!value.IsNull) value.Form.assign(reinterpret_cast<const char*>(&value.Real), sizeof value.Real);
        value.CType = SQL_C_DOUBLE;
        value.SqlType = SQL_DOUBLE;
        return SQL_SUCCESS;
    }
    const SQLRETURN rc = ReadWholeText(statement, column, value.Form, value.IsNull);
    if (!SQL_SUCCEEDED(rc) || value.IsNull) return rc;
    return ParseKeyForm(form, value) ? SQL_SUCCESS : SQL_ERROR;
}

bool ParseKeyForm(KeyForm form, KeyValue& value) {
    switch (form) {
        case KeyForm::SqliteTyped:
            return ParseSqliteForm(value);
        case KeyForm::HexBytes:
            if (!DecodeHex(value.Form.data(), value.Form.size(), value.Bytes)) return false;
            SetBytes(value, SQL_C_BINARY, SQL_VARBINARY);
            // MariaDB reads a parameter in the connection's character set
            // (cp932 makes other characters of UTF-8 bytes): as bytes they
            // compare with the stored bytes, and the key's index serves.
            value.Comparison = "=CAST(? AS BINARY)";
            return true;
        case KeyForm::RowidAlias:
            value.CType = SQL_C_SBIGINT;
            value.SqlType = SQL_BIGINT;
            return ParseInteger(value.Form, value.Integer);
        default:
            value.Bytes = value.Form;
            SetBytes(value, SQL_C_CHAR, SQL_VARCHAR);
            value.Comparison = TextComparison(form);
            return true;
    }
}

SQLRETURN AppendKeyCondition(CText& sql, SQLHSTMT statement, SQLUSMALLINT firstMarker,
                             const std::vector<CText>& bracketedNames, std::vector<KeyValue>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        KeyValue& value = values[i];
        sql.Append(i == 0 ? " " : " AND ");
        sql.Append(bracketedNames[i]);
        sql.Append(value.Comparison);
        void* data = value.CType == SQL_C_SBIGINT  ? static_cast<void*>(&value.Integer)
                     : value.CType == SQL_C_DOUBLE ? static_cast<void*>(&value.Real)
                                                   : static_cast<void*>(value.Bytes.data());
        const SQLULEN size = value.Bytes.empty() ? 1 : value.Bytes.size();
        const SQLRETURN rc =
            SQLBindParameter(statement, static_cast<SQLUSMALLINT>(firstMarker + i), SQL_PARAM_INPUT, value.CType,
                             value.SqlType, size, 0, data, static_cast<SQLLEN>(value.Bytes.size()), &value.Indicator);
        if (!SQL_SUCCEEDED(rc)) return rc;
    }
    return SQL_SUCCESS;
}

std::vector<uint32_t> PrimaryKeyFields(CDatabase& database, const char* keyQuery, const CText& owner,
                                       const CText& table, const CText* names, uint32_t count) {
    std::vector<uint32_t> fields;
    SQLHSTMT statement = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocStmt(database.ConnectionHandle, &statement))) return fields;
    CText sent[2];
    bool complete;
    SQLUSMALLINT nameColumn = 4;  // SQLPrimaryKeys' COLUMN_NAME
    if (keyQuery != nullptr) {
        const CText* arguments[2] = {&database.CodePages.ForDriver(owner, sent[0]),
                                 &database.CodePages.ForDriver(table, sent[1])};
        SQLLEN lengths[2];
        complete = true;
        for (SQLUSMALLINT marker = 1; marker <= 2; ++marker) {
            const CText& name = *arguments[marker - 1];
            lengths[marker - 1] = static_cast<SQLLEN>(name.Length());
            complete = complete && SQL_SUCCEEDED(SQLBindParameter(statement, marker, SQL_PARAM_INPUT, SQL_C_CHAR,
                                                                  SQL_VARCHAR, name.Length() + 1, 0,
                                                                  const_cast<char*>(name.c_str()), 0,
                                                                  &lengths[marker - 1]));
        }
        complete = complete && SQL_SUCCEEDED(SQLExecDirect(
                                   statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(keyQuery)), SQL_NTS));
        nameColumn = 1;
    } else {
        complete = SQL_SUCCEEDED(SQLPrimaryKeys(statement, nullptr, 0, CatalogArgument(database, owner, sent[0]),
                                                SQL_NTS, CatalogArgument(database, table, sent[1]), SQL_NTS));
    }
    SQLCHAR column[256];
    SQLLEN indicator = 0;
    // The rows come in key order (KEY_SEQ), or the table's.
    complete =
        complete && SQL_SUCCEEDED(SQLBindCol(statement, nameColumn, SQL_C_CHAR, column, sizeof column, &indicator));
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
