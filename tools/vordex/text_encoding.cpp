#include "text_encoding.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vordex::cli {
namespace {

// The same names the library accepts, compared without case, '-' or '_'.
bool NamesShiftJis(const char* name) {
    std::string folded;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p != '-' && *p != '_') folded += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    for (const char* alias : {"SJIS", "SHIFTJIS", "CP932", "WINDOWS31J"}) {
        if (folded.find(alias) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

// The CLI never calls setlocale, so, as for the library, the locale variables
// themselves decide.
TextEncoding HostTextEncoding() {
    const char* forced = std::getenv("VORDEX_CODEPAGE");
    if (forced != nullptr && *forced != '\0') {
        return std::strcmp(forced, "932") == 0 ? TextEncoding::Cp932 : TextEncoding::Utf8;
    }
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return NamesShiftJis(value) ? TextEncoding::Cp932 : TextEncoding::Utf8;
    }
    return TextEncoding::Utf8;
}

bool IsCp932LeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

}  // namespace vordex::cli
