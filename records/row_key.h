#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/database.h"
#include "db/drivers/key_forms.h"
#include "db/text.h"
#include "platform/odbc_headers.h"

namespace vordex {

/// The select-list item that reads the key form of the column named
/// `bracketedName` (a name as BracketName writes it).
CText KeyFormExpression(KeyForm form, const CText& bracketedName);

/// One key column's value, as read: what its condition binds.
struct KeyValue {
    /// The form as the data source gave it; equal forms name the same value.
    std::string Form;
    bool IsNull = false;
    SQLSMALLINT CType = SQL_C_CHAR;
    SQLSMALLINT SqlType = SQL_VARCHAR;
    /// How the column is compared with the parameter: "=?", or a cast that
    /// makes the bytes sent compare as the stored ones, byte for byte.
    const char* Comparison = "=?";
    std::string Bytes;
    int64_t Integer = 0;
    double Real = 0;
    SQLLEN Indicator = 0;
};

/// Reads result column `column` of the current row of `statement` whole,
/// as the driver's text, with SQLGetData.
SQLRETURN ReadWholeText(SQLHSTMT statement, SQLUSMALLINT column, std::string& out, bool& isNull);

/// The whole number `text` writes in decimal, all of it; false otherwise.
bool ParseInteger(const std::string& text, int64_t& value);

/// Fills `value` with a double read as it is stored (KeyForm::Double).
bool DoubleKeyValue(double real, KeyValue& value);

/// Fills `value` from its Form, as the driver gave it in `form`; false when
/// the text is not such a form.
bool ParseKeyForm(KeyForm form, KeyValue& value);

/// Reads the key form in result column `column` of the current row of
/// `statement` into `value`. Returns the driver's answer; a form that
/// cannot be read (the driver's text is not one this library writes)
/// answers SQL_ERROR.
SQLRETURN ReadKeyValue(SQLHSTMT statement, SQLUSMALLINT column, KeyForm form, KeyValue& value);

/// Appends " <name>=?" conditions joined by AND, one per key column, to
/// `sql` and binds the values on `statement` from parameter `firstMarker`
/// on. Returns the first failing answer of SQLBindParameter, else SQL_SUCCESS.
SQLRETURN AppendKeyCondition(CText& sql, SQLHSTMT statement, SQLUSMALLINT firstMarker,
                             const std::vector<CText>& bracketedNames, std::vector<KeyValue>& values);

/// The positions in `names` (the first `count` of them) of the primary key
/// columns of `owner`.`table`, in key order; empty when the table has no
/// primary key, a key column is not among the names, or the catalog cannot
/// tell. Asked with `keyQuery` (see KeyWriteTraits::primaryKeyQuery) where
/// it is not null, which may list another key that names rows as well.
std::vector<uint32_t> PrimaryKeyFields(CDatabase& database, const char* keyQuery, const CText& owner,
                                       const CText& table, const CText* names, uint32_t count);

}  // namespace vordex
