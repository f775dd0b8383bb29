#include <cstring>

#include "db/database.h"
#include "platform/code_page.h"

namespace vordex {

void CDatabase::ConvertBrackets(char* sql) const {
    if (sql == nullptr) return;
    const platform::CodePage codePage = platform::HostCodePage();
    const char* read = sql;
    char* write = sql;
    bool inLiteral = false;

    while (*read != '\0') {
        const char c = *read;
        if (c == '\'') {
            if (read[1] == '\'') {
                *write++ = *read++;
                *write++ = *read++;
            } else {
                inLiteral = !inLiteral;
                *write++ = *read++;
            }
        } else if (!inLiteral && (c == '[' || c == ']')) {
            if (read[1] == c) {
                *write++ = c;  // a doubled bracket stands for one literal bracket
                read += 2;
            } else {
                *write++ = QuoteChar;
                ++read;
            }
        } else {
            // A multibyte character is copied whole: its trail bytes are never
            // taken for a bracket or an apostrophe.
            size_t length = platform::CharLength(read, codePage);
            std::memmove(write, read, length);
            write += length;
            read += length;
        }
    }
    *write = '\0';
}

}  // namespace vordex
