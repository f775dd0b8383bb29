#include "api/field_value.h"

#include "platform/odbc_headers.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "db/hex_text.h"
#include "db/library_messages.h"
#include "db/sql_types.h"
#include "platform/code_page.h"

namespace vordex::api {
namespace {

/// A character type whose values are any text: its name says char or text
/// (varchar, bpchar, character varying, nvarchar, text, citext ...), or it
/// has none (SQLite's columns declared without a type).
bool IsFreeText(int32_t sqlType, const char* typeName) {
    if (!IsCharacterSqlType(sqlType)) return false;
    std::string lower = typeName != nullptr ? typeName : "";
    if (lower.empty()) return true;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower.find("char") != std::string::npos || lower.find("text") != std::string::npos;
}

/// Steps over exactly `count` ASCII digits; false when they are not there.
bool Digits(const char*& p, int count) {
    for (int i = 0; i < count; ++i, ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    return true;
}

bool Char(const char*& p, char c) { return *p == c && (++p, true); }

/// yyyy-mm-dd
bool DateForm(const char*& p) { return Digits(p, 4) && Char(p, '-') && Digits(p, 2) && Char(p, '-') && Digits(p, 2); }

/// hh:mm:ss with an optional fraction of up to nine digits
bool TimeForm(const char*& p) {
    if (!(Digits(p, 2) && Char(p, ':') && Digits(p, 2) && Char(p, ':') && Digits(p, 2))) return false;
    if (!Char(p, '.')) return true;
    int fraction = 0;
    while (*p >= '0' && *p <= '9') ++p, ++fraction;
    return fraction >= 1 && fraction <= 9;
}

/// ODBC's character forms for dates, times and timestamps. psqlODBC reads
/// others its own way and stores something else without a word: a "T"
/// between date and time drops the time, a zone offset is dropped.
bool IsDateTimeForm(const char* value, int32_t sqlType) {
    const char* p = value;
    switch (sqlType) {
        case SQL_TYPE_DATE:
        case SQL_DATE:
            return DateForm(p) && *p == '\0';
        case SQL_TYPE_TIME:
        case SQL_TIME:
            return TimeForm(p) && *p == '\0';
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
            if (!DateForm(p)) return false;
            return *p == '\0' || (Char(p, ' ') && TimeForm(p) && *p == '\0');
        default:
            return true;
    }
}

}  // namespace

FieldValue ValueForField(const char* value, const CatalogColumn& column) {
    FieldValue field;
    const size_t length = std::strlen(value);
    const platform::CodePage host = platform::HostCodePage();
    // Bytes of another code page would reach the data source as other
    // characters, or as bytes it refuses halfway through a write.
    if (!platform::IsValidText(value, length, host)) {
        field.refusal = MessageNotHostText;
        return field;
    }
    const int32_t sqlType = column.sqlType;
    if (IsFreeText(sqlType, column.typeName)) {
        // The size counts characters on every driver; the length counts
        // bytes on some and characters on others (measured: psqlODBC and
        // MariaDB give 4 bytes a character of varchar(n), SQLite n).
        const size_t maxChars = column.size > 0 ? static_cast<size_t>(column.size) : 0;
        const size_t maxBytes =
            column.size > 0 ? kValueCapacity
                            : std::min(static_cast<size_t>(static_cast<uint32_t>(column.length)), kValueCapacity);
        field.text.Assign(value, platform::WholeCharacterPrefix(value, maxBytes, host, maxChars));
        return field;
    }
    field.text.Assign(value, length);
    // The empty value writes NULL, whatever the type.
    if (length > kValueCapacity) {
        field.refusal = MessageValueTooLong;
    } else if (length != 0 && !IsDateTimeForm(value, sqlType)) {
        field.refusal = MessageDateTimeForm;
    } else if (IsBinarySqlType(sqlType) && !IsHexText(value, length)) {
        field.refusal = MessageBinaryForm;
    }
    return field;
}

}  // namespace vordex::api
