#pragma once

#include "db/text.h"

namespace vordex {

/// A table name in brackets, written so that CDatabase::ConvertBrackets turns
/// it into exactly that identifier quoted with `quoteChar`: an ordinary name
/// gives "[name]"; brackets are doubled, a quote character inside the name is
/// doubled, and after an apostrophe (which ConvertBrackets takes for the start
/// of a literal and copies from then on) the name closes with the quote
/// character itself.
CText BracketName(const char* name, char quoteChar);

}  // namespace vordex
