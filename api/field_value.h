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

/// The value to write into a column of the catalog's `sqlType` and
/// `catalogLength`. Text for a character column is cut to the length and to
/// the bound storage, at the last whole character that fits. Any other value
/// is passed on as it is, for the driver and server to take or refuse: a
/// number or a date cut short is another value. It is refused when it does
/// not fit the bound storage, and a date or time that is not in ODBC's
/// character form, which drivers may read as another value.
FieldValue ValueForField(const char* value, int32_t sqlType, int32_t catalogLength);

}  // namespace vordex::api
