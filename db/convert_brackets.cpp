#include <cstring>

#include "db/database.h"
#include "db/sql_scan.h"

namespace vordex {

void CDatabase::ConvertBrackets(char* sql) const {
    if (sql == nullptr) return;
    const platform::CodePage codePage = platform::HostCodePage();
    const char* read = sql;
    char* write = sql;
    SqlScanState state;
    while (*read != '\0') {
        SqlToken token;
        const size_t length = ScanSqlToken(read, state, codePage, token);
        if (token == SqlToken::DoubledBracket) {
            *write++ = *read;  // a doubled bracket stands for one literal bracket
        } else if (token == SqlToken::Bracket) {
            *write++ = QuoteChar;
        } else {
            std::memmove(write, read, length);
            write += length;
        }
        read += length;
    }
    *write = '\0';
}

}  // namespace vordex
