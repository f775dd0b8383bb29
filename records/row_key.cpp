#include "records/row_key.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "db/hex_text.h"
#include "db/own_statement.h"
#include "db/sql_types.h"
#include "records/catalog_open.h"

namespace vordex {

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
        case KeyForm::SqliteQuoted:
            expression.Append("quote(");
            expression.Append(name);
            expression.Append(")");
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

bool ParseInteger(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

SQLRETURN ReadKeyValue(SQLHSTMT statement, SQLUSMALLINT column, KeyForm form, KeyValue& value) {
    value = KeyValue{};
    if (form == KeyForm::Double) {
        SQLLEN indicator = 0;
        double real = 0;
        const SQLRETURN rc = SQLGetData(statement, column, SQL_C_DOUBLE, &real, 0, &indicator);
        if (!SQL_SUCCEEDED(rc)) return rc;
        value.IsNull = indicator == SQL_NULL_DATA;
        if (!value.IsNull) DoubleKeyValue(real, value);
        return SQL_SUCCESS;
    }
    const SQLRETURN rc = ReadWholeText(statement, column, value.Form, value.IsNull);
    if (!SQL_SUCCEEDED(rc) || value.IsNull) return rc;
    return ParseKeyForm(form, value) ? SQL_SUCCESS : SQL_ERROR;
}

bool DoubleKeyValue(double real, KeyValue& value) {
    value.Real = real;
    // The double's bytes: equal forms are equal numbers.
    value.Form.assign(reinterpret_cast<const char*>(&value.Real), sizeof value.Real);
    value.CType = SQL_C_DOUBLE;
    value.SqlType = SQL_DOUBLE;
    return true;
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
    const OwnStatement statement(database.ConnectionHandle);
    if (!statement) return fields;
    CText sent[2];
    bool complete = true;
    SQLUSMALLINT nameColumn = 4;  // SQLPrimaryKeys' COLUMN_NAME
    if (keyQuery != nullptr) {
        const CText* arguments[2] = {&database.CodePages.ForDriver(owner, sent[0]),
                                     &database.CodePages.ForDriver(table, sent[1])};
        SQLLEN lengths[2];
        for (SQLUSMALLINT marker = 1; marker <= 2; ++marker) {
            const CText& argument = *arguments[marker - 1];
            complete = complete && SQL_SUCCEEDED(statement.BindText(marker, argument.c_str(), argument.Length(),
                                                                    lengths[marker - 1]));
        }
        complete = complete && SQL_SUCCEEDED(statement.Execute(keyQuery));
        nameColumn = 1;
    } else {
        complete =
            SQL_SUCCEEDED(SQLPrimaryKeys(statement.Handle(), nullptr, 0, CatalogArgument(database, owner, sent[0]),
                                         SQL_NTS, CatalogArgument(database, table, sent[1]), SQL_NTS));
    }
    SQLCHAR column[256];
    SQLLEN indicator = 0;
    // The rows come in key order (KEY_SEQ), or the table's.
    complete = complete &&
               SQL_SUCCEEDED(SQLBindCol(statement.Handle(), nameColumn, SQL_C_CHAR, column, sizeof column, &indicator));
    SQLRETURN rc = SQL_NO_DATA;
    while (complete && SQL_SUCCEEDED(rc = SQLFetch(statement.Handle()))) {
        const CText name = database.CodePages.ToHost(reinterpret_cast<const char*>(column));
        uint32_t i = 0;
        while (i < count && names[i] != name) ++i;
        if (indicator == SQL_NULL_DATA || i == count) complete = false;
        fields.push_back(i);
    }
    if (rc != SQL_NO_DATA) complete = false;
    if (!complete) fields.clear();
    return fields;
}

}  // namespace vordex
