#pragma once

#include <cstddef>

#include "platform/code_page.h"

namespace vordex {

/// Where a scan of SQL text stands: inside an apostrophe literal, inside a
/// bracket-quoted identifier, or in plain text.
struct SqlScanState {
    bool inLiteral = false;
    long opened = 0;
    long closed = 0;

    bool InBracket() const { return opened - closed > 0; }
    bool Inside() const { return inLiteral || InBracket(); }
};

/// What one step of the scan read.
enum class SqlToken {
    Text,            // copied as it stands: a character, or a doubled apostrophe
    DoubledBracket,  // "[[" or "]]" outside a literal: one literal bracket
    Bracket,         // a single "[" or "]" outside a literal: an identifier quote
};

/// Reads the token at `p` (not at the terminator), updates `state` and returns
/// the token's length in bytes. The rules that the bracket conversion and the
/// keyword search share: a doubled apostrophe or bracket stands for itself,
/// except that an odd run of "[" outside an identifier opens one first;
/// a single apostrophe opens or closes a literal, except inside a bracketed
/// identifier, where it is a character of the name; brackets inside a literal
/// are text; a multibyte character (SqlCharLength) is one step.
size_t ScanSqlToken(const char* p, SqlScanState& state, platform::CodePage codePage, SqlToken& token);

/// Bytes of the character at `p` for quoting and bracket handling: as
/// platform::CharLength, except that a bracket, an apostrophe, a double quote,
/// a backtick or `quoteChar` is never taken as a trail byte (CP932 allows
/// "[", "]" and "`" there). Whatever encoding the text is really in, such a
/// byte is then always quoted or converted, never passed over.
size_t SqlCharLength(const char* p, platform::CodePage codePage, char quoteChar = '"');

}  // namespace vordex
