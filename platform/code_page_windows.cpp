// The host's code page is the system's ANSI code page; conversions go
// through UTF-16 with Windows' own calls.
#include "platform/odbc_headers.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "platform/code_page_system.h"
#include "platform/wide_text.h"

namespace vordex::platform {
namespace {

constexpr UINT kCp932 = 932;

UINT WindowsCodePage(CodePage codePage) {
    switch (codePage) {
        case CodePage::Cp932:
            return kCp932;
        case CodePage::Utf8:
            return CP_UTF8;
        case CodePage::Ansi:
            break;
    }
    return CP_ACP;
}

// A character beyond the first 65,536 is two UTF-16 units, which an ANSI
// code page would show as two "?": it is one character, and no ANSI code
// page holds it, so it becomes U+FFFD, which shows as one.
std::wstring OneUnitPerCharacter(const std::wstring& wide) {
    std::wstring single;
    single.reserve(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) {
        const bool pair = wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                          wide[i + 1] <= 0xDFFF;
        single.push_back(pair ? L'\xFFFD' : wide[i]);
        if (pair) ++i;
    }
    return single;
}

}  // namespace

CodePage HostCodePage() {
    const char* forced = std::getenv("VORDEX_CODEPAGE");
    if (forced != nullptr && *forced != '\0' && std::strcmp(forced, "932") == 0) return CodePage::Cp932;
    switch (GetACP()) {
        case kCp932:
            return CodePage::Cp932;
        case CP_UTF8:
            return CodePage::Utf8;
        default:
            return CodePage::Ansi;
    }
}

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByteEx(CP_ACP, c) != 0; }

std::wstring ToWide(const char* text, CodePage codePage) {
    const UINT from = WindowsCodePage(codePage);
    const int length = MultiByteToWideChar(from, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(from, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length) - 1);  // without the terminator
    return wide;
}

std::string FromWide(const std::wstring& wide, CodePage codePage) {
    const UINT to = WindowsCodePage(codePage);
    const int length = WideCharToMultiByte(to, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    // A character the code page cannot show becomes its default character, "?".
    WideCharToMultiByte(to, 0, wide.c_str(), -1, text.data(), length, nullptr, nullptr);
    text.resize(static_cast<size_t>(length) - 1);
    return text;
}

// Windows' conversion calls hold no state of the library's.
void PrepareConversions() {}

size_t ConvertThroughSystem(const char* text, size_t length, CodePage from, CodePage to, char* out, size_t room,
                            bool strict) {
    if (length == 0) return 0;
    // Lenient, a byte that is no character becomes U+FFFD (or the code
    // page's own stand-in), which the second step turns into "?".
    const int wideLength = MultiByteToWideChar(WindowsCodePage(from), strict ? MB_ERR_INVALID_CHARS : 0, text,
                                               static_cast<int>(length), nullptr, 0);
    if (wideLength <= 0) return kNotConverted;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(WindowsCodePage(from), strict ? MB_ERR_INVALID_CHARS : 0, text, static_cast<int>(length),
                        wide.data(), wideLength);
    const UINT target = WindowsCodePage(to);
    if (target != CP_UTF8) wide = OneUnitPerCharacter(wide);
    // UTF-8 holds every character; elsewhere a character the code page
    // lacks becomes its default character, "?", which strict refuses.
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(target, 0, wide.data(), static_cast<int>(wide.size()), out,
                                            static_cast<int>(room), nullptr,
                                            strict && target != CP_UTF8 ? &usedDefault : nullptr);
    if (written <= 0 || usedDefault) return kNotConverted;
    return static_cast<size_t>(written);
}

}  // namespace vordex::platform
