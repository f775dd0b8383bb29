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

/// What the catalog says of a column.
struct CatalogColumn {
    int32_t sqlType = 0;
    /// The driver's name of the type; may be empty or null.
    const char* typeName = nullptr;
    /// LENGTH: bytes on psqlODBC and MariaDB, characters on SQLite.
    int32_t length = 0;
    /// COLUMN_SIZE: characters for a character type on every driver; 0
    /// where none is given.
    int32_t size = 0;
};

/// The value to write into `column`. Free text (a character column whose
/// type name says char or text, or that has no type name) is cut to the
/// column's size in characters, or where the catalog gives none to its
/// length in bytes, and to the bound storage, never inside a character.
/// Any other value is passed on as it is, for the server to take or
/// refuse: a number, a date, a boolean or a bit string cut short is another
/// value (psqlODBC lists boolean and bit(n) as character columns). It is
/// refused when it does not fit the bound storage, a date or time that is
/// not in ODBC's character form, and binary data that is not hex digits two
/// a byte: drivers read either as another value. Bytes that are no text of
/// the host's code page are refused whatever the column.
FieldValue ValueForField(const char* value, const CatalogColumn& column);

}  // namespace vordex::api
