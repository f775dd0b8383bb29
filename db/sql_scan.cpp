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
        if (p[1] == c) {
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
