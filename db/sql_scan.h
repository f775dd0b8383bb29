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
/// are text; a multibyte character is one step, whatever its trail byte
/// (CP932 allows "[", "]", "\\" and "`" there): the text is converted into
/// the driver's code page character by character, so a trail byte never
/// reaches the data source as a byte of its own.
size_t ScanSqlToken(const char* p, SqlScanState& state, platform::CodePage codePage, SqlToken& token);

}  // namespace vordex
