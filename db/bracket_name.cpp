#include "db/bracket_name.h"

#include "db/sql_scan.h"

namespace vordex {

CText BracketName(const char* name, char quoteChar) {
    // A blank means the driver quotes nothing; a bracket or an apostrophe as
    // quote character cannot be told apart from the syntax around it.
    const bool doubleQuoteChar = quoteChar != ' ' && quoteChar != '[' && quoteChar != ']' && quoteChar != '\'';
    const platform::CodePage codePage = platform::HostCodePage();
    CText out("[");
    const char* p = name != nullptr ? name : "";
    while (*p != '\0') {
        const char c = *p;
        if (c == '[' || c == ']' || (doubleQuoteChar && c == quoteChar)) {
            out.Append(c);
            out.Append(c);
            ++p;
        } else {
            // A multibyte character is copied whole: only a whole quote
            // character or bracket is doubled.
            const size_t length = platform::CharLength(p, codePage);
            out.Append(p, length);
            p += length;
        }
    }
    out.Append(']');
    return out;
}

}  // namespace vordex
