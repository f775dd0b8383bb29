#include "db/bracket_name.h"

#include "platform/code_page.h"

namespace vordex {

CText BracketName(const char* name, char quoteChar) {
    // A blank means the driver quotes nothing; a bracket or an apostrophe as
    // quote character cannot be told apart from the syntax around it.
    const bool doubleQuoteChar = quoteChar != ' ' && quoteChar != '[' && quoteChar != ']' && quoteChar != '\'';
    const platform::CodePage codePage = platform::HostCodePage();
    CText out("[");
    bool inLiteral = false;  // as ConvertBrackets will see it
    const char* p = name != nullptr ? name : "";
    while (*p != '\0') {
        const char c = *p;
        if (c == '\'' && p[1] == '\'') {
            out.Append("''");  // copied as it stands, the state unchanged
            p += 2;
        } else if (c == '\'') {
            out.Append(c);
            inLiteral = !inLiteral;
            ++p;
        } else if ((doubleQuoteChar && c == quoteChar) || (!inLiteral && (c == '[' || c == ']'))) {
            out.Append(c);
            out.Append(c);
            ++p;
        } else {
            const size_t length = platform::CharLength(p, codePage);
            out.Append(p, length);
            p += length;
        }
    }
    out.Append(inLiteral ? quoteChar : ']');
    return out;
}

}  // namespace vordex
