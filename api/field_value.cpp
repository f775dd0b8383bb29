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

FieldValue ValueForField(const char* value, int32_t sqlType, int32_t catalogLength) {
    FieldValue field;
    const size_t length = std::strlen(value);
    if (IsCharacterType(sqlType)) {
        const auto limit = std::min(static_cast<size_t>(static_cast<uint32_t>(catalogLength)), kValueCapacity);
        field.text.Assign(
            value, length <= limit ? length : platform::WholeCharacterPrefix(value, limit, platform::HostCodePage()));
        return field;
    }
    field.text.Assign(value, length);
    // The empty value writes NULL, whatever the type.
    if (length > kValueCapacity) {
        field.refusal = MessageValueTooLong;
    } else if (length != 0 && !IsDateTimeForm(value, sqlType)) {
        field.refusal = MessageDateTimeForm;
    }
    return field;
}

}  // namespace vordex::api
