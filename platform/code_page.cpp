#include "platform/code_page.h"

#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vordex::platform {
namespace {

bool NamesShiftJis(const char* name) {
    if (name == nullptr) return false;
    std::string upper;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p != '-' && *p != '_') upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return upper.find("SJIS") != std::string::npos || upper.find("SHIFTJIS") != std::string::npos ||
           upper.find("CP932") != std::string::npos || upper.find("WINDOWS31J") != std::string::npos;
}

bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

size_t Utf8SequenceLength(const unsigned char* p) {
    unsigned char lead = p[0];
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (lead >= 0xF5) length = 1;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 1;  // broken sequence: take the lead byte alone
    }
    return length;
}

}  // namespace

CodePage HostCodePage() {
    const char* forced = std::getenv("VORDEX_CODEPAGE");
    if (forced != nullptr && *forced != '\0') {
        return std::strcmp(forced, "932") == 0 ? CodePage::Cp932 : CodePage::Utf8;
    }
    if (NamesShiftJis(nl_langinfo(CODESET))) return CodePage::Cp932;
    // A host that never called setlocale still runs in its user's locale.
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return NamesShiftJis(value) ? CodePage::Cp932 : CodePage::Utf8;
    }
    return CodePage::Utf8;
}

size_t CharLength(const char* p, CodePage codePage) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(p);
    if (bytes[0] < 0x80) return 1;
    if (codePage == CodePage::Cp932) return IsCp932LeadByte(bytes[0]) && bytes[1] != 0 ? 2 : 1;
    return Utf8SequenceLength(bytes);
}

size_t WholeCharacterPrefix(const char* text, size_t maxBytes, CodePage codePage) {
    size_t end = 0;
    while (text[end] != '\0') {
        const size_t next = end + CharLength(text + end, codePage);
        if (next > maxBytes) break;
        end = next;
    }
    return end;
}

namespace {
// ASCII only, whatever the locale: these are SQL keywords and ODBC prefixes.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (AsciiUpper(*text) != AsciiUpper(*prefix)) return false;
    }
    return true;
}

CText Utf8ToHost(const char* utf8) { return Utf8ToCodePage(utf8, HostCodePage()); }

CText Utf8ToCodePage(const char* utf8, CodePage codePage) {
    CText result;
    if (codePage == CodePage::Utf8) {
        result.Assign(utf8);
        return result;
    }
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        result.Assign(utf8);
        return result;
    }
    size_t inLeft = std::strlen(utf8);
    std::string out(inLeft + 1, '\0');  // CP932 never needs more bytes than UTF-8
    char* in = const_cast<char*>(utf8);
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno != EILSEQ) break;
        // An unmappable character: show a question mark and go on.
        if (outLeft == 0) break;
        *outPtr++ = '?';
        --outLeft;
        in += Utf8SequenceLength(reinterpret_cast<unsigned char*>(in));
        inLeft = std::strlen(in);
    }
    iconv_close(converter);
    result.Assign(out.data(), static_cast<size_t>(outPtr - out.data()));
    return result;
}

std::string HostToUtf8(const char* text) {
    if (HostCodePage() == CodePage::Utf8) return text;
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) return text;
    size_t inLeft = std::strlen(text);
    std::string out(inLeft * 3 + 1, '\0');  // a CP932 character is at most 3 bytes of UTF-8
    char* in = const_cast<char*>(text);
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0 && outLeft > 0) {
        if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno != EILSEQ && errno != EINVAL) break;
        // A byte that is no CP932 character: show a question mark and go on.
        *outPtr++ = '?';
        --outLeft;
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    out.resize(static_cast<size_t>(outPtr - out.data()));
    return out;
}

}  // namespace vordex::platform
