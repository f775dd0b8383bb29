#pragma once

#include <cstdint>

#include "db/text.h"

namespace vordex::api {

/// The record's bound text storage holds this many bytes.
constexpr size_t kValueCapacity = 255;

/// What VORDEX_Update writes into a field, or why it writes nothing.
struct FieldValue {
    CText text;
    /// The library message that refuses the value; 0 when it may be written.
    unsigned refusal = 0;
};

/// The value to write into a column of the catalog's `sqlType`, `typeName`
/// and `catalogLength`. Free text (a character column whose type name says
/// char or text) is cut to the length and to the bound storage, at the last
/// whole character that fits. Any other value is passed on as it is, for the
/// server to take or refuse: a number, a date, a boolean or a bit string cut
/// short is another value (psqlODBC lists boolean and bit(n) as character
/// columns). It is refused when it does not fit the bound storage, a date or
/// time that is not in ODBC's character form, and binary data that is not
/// hex digits two a byte: drivers read either as another value. Bytes that
/// are no text of the host's code page are refused whatever the column.
FieldValue ValueForField(const char* value, int32_t sqlType, const char* typeName, int32_t catalogLength);

}  // namespace vordex::api
