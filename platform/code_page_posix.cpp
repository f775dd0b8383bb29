// The host's code page from the locale, and conversions through iconv.
#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/code_page.h"

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

// There is no other ANSI code page here.
bool IsAnsiLeadByte(unsigned char) { return false; }

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
