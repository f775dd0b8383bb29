#include "api/field_value.h"

#include "platform/odbc_headers.h"

#include <algorithm>
#include <cstring>

#include "db/library_messages.h"
#include "platform/code_page.h"

namespace vordex::api {
namespace {

bool IsCharacterType(int32_t sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_LONGVARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
            return true;
        default:
            return false;
    }
}

bool IsBinaryType(int32_t sqlType) {
    return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

/// A character type whose values are any text: its name says char or text
/// (varchar, bpchar, character varying, nvarchar, text, citext ...).
bool IsFreeText(int32_t sqlType, const char* typeName) {
    if (!IsCharacterType(sqlType)) return false;
    CText lower(typeName);
    for (char* c = lower.Buffer(); *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
    return std::strstr(lower.c_str(), "char") != nullptr || std::strstr(lower.c_str(), "text") != nullptr;
}

/// Hex digits, two a byte: what binary columns read as. psqlODBC decodes
/// other text without a word and stores other bytes.
bool IsHexBytes(const char* value, size_t length) {
    if (length % 2 != 0) return false;
    for (const char* p = value; *p != '\0'; ++p) {
        const char c = *p;
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
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

FieldValue ValueForField(const char* value, int32_t sqlType, const char* typeName, int32_t catalogLength) {
    FieldValue field;
    const size_t length = std::strlen(value);
    const platform::CodePage host = platform::HostCodePage();
    // Bytes of another code page would reach the data source as other
    // characters, or as bytes it refuses halfway through a write.
    if (!platform::IsValidText(value, length, host)) {
        field.refusal = MessageNotHostText;
        return field;
    }
    if (IsFreeText(sqlType, typeName != nullptr ? typeName : "")) {
        const auto limit = std::min(static_cast<size_t>(static_cast<uint32_t>(catalogLength)), kValueCapacity);
        field.text.Assign(
            value, length <= limit ? length : platform::WholeCharacterPrefix(value, limit, host));
        return field;
    }
    field.text.Assign(value, length);
    // The empty value writes NULL, whatever the type.
    if (length > kValueCapacity) {
        field.refusal = MessageValueTooLong;
    } else if (length != 0 && !IsDateTimeForm(value, sqlType)) {
        field.refusal = MessageDateTimeForm;
    } else if (IsBinaryType(sqlType) && !IsHexBytes(value, length)) {
        field.refusal = MessageBinaryForm;
    }
    return field;
}

}  // namespace vordex::api
