#pragma once

#include "platform/odbc_headers.h"

#include <cstdint>

namespace vordex {

/// Character types, narrow and wide.
inline bool IsCharacterSqlType(int32_t sqlType) {
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

inline bool IsBinarySqlType(int32_t sqlType) {
    return sqlType == SQL_BINARY || sqlType == SQL_VARBINARY || sqlType == SQL_LONGVARBINARY;
}

/// Whole-number types whose every value, signed or not, fits an int64
/// (BIGINT may be unsigned and does not).
inline bool IsSmallIntegerSqlType(int32_t sqlType) {
    return sqlType == SQL_TINYINT || sqlType == SQL_SMALLINT || sqlType == SQL_INTEGER;
}

/// Floating-point types, whose values' texts need not read back as the same value.
inline bool IsApproximateSqlType(int32_t sqlType) {
    return sqlType == SQL_REAL || sqlType == SQL_FLOAT || sqlType == SQL_DOUBLE;
}

}  // namespace vordex
