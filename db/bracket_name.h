#pragma once

#include "db/text.h"

namespace vordex {

/// An identifier (a table, owner or column name) in brackets, written so that
/// CDatabase::ConvertBrackets turns it into exactly that identifier quoted
/// with `quoteChar`: "[name]", with brackets and the quote character doubled
/// inside. An apostrophe inside brackets is a character of the name.
CText BracketName(const char* name, char quoteChar);

}  // namespace vordex
