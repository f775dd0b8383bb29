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

namespace {

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                      : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

bool IsValidCp932(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!IsCp932LeadByte(byte)) continue;
        if (i + 1 == text.size()) return false;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
    }
    return true;
}

}  // namespace

bool IsValidText(const std::string& text, TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? IsValidUtf8(text) : IsValidCp932(text);
}

}  // namespace vordex::cli
