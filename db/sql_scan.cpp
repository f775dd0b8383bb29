#include "db/sql_scan.h"

namespace vordex {

size_t ScanSqlToken(const char* p, SqlScanState& state, platform::CodePage codePage, SqlToken& token) {
    const char c = *p;
    token = SqlToken::Text;
    if (c == '\'' && !state.InBracket()) {
        if (p[1] == '\'') return 2;
        state.inLiteral = !state.inLiteral;
        return 1;
    }
    if (!state.inLiteral && (c == '[' || c == ']')) {
        // Outside an identifier, an odd run of "[" opens one with its first
        // bracket: "[[[a]" is the name "[a", "[[a]]" the text "[a]".
        bool opens = false;
        if (c == '[' && !state.InBracket()) {
            size_t run = 1;
            while (p[run] == '[') ++run;
            opens = run % 2 == 1;
        }
        if (p[1] == c && !opens) {
            token = SqlToken::DoubledBracket;
            return 2;
        }
        token = SqlToken::Bracket;
        if (c == '[') {
            ++state.opened;
        } else {
            ++state.closed;
        }
        return 1;
    }
    return platform::CharLength(p, codePage);
}

}  // namespace vordex
