// The host's code page is the system's ANSI code page; conversions go
// through UTF-16 with Windows' own calls. The settings come from the
// process's environment as Windows keeps it.
#include "platform/odbc_headers.h"

#include <string>

#include "platform/code_page.h"
#include "platform/code_page_system.h"
#include "platform/environment.h"
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

// The characters that CP932 holds under another code point than its own
// table gives them, as glibc's iconv CP932 converts them on Linux: each
// becomes the character that table has at the same code, which the
// conversion then writes. Windows' table has the second of each pair only:
// the first goes by a best-fit mapping where there is one (Wine has none,
// and gives "?"), so without these a "〜" that a UTF-8 data source holds
// could read as "?" here while it reads as 0x8160 on Linux. Reading goes by
// the table alone on both: 0x8160 is U+FF5E.
struct Cp932Fold {
    wchar_t from;
    wchar_t to;  ///< the character of CP932's table
};
constexpr Cp932Fold kCp932Folds[] = {
    {L'\x301C', L'\xFF5E'},  // WAVE DASH                 -> 0x8160
    {L'\x2016', L'\x2225'},  // DOUBLE VERTICAL LINE      -> 0x8161
    {L'\x2212', L'\xFF0D'},  // MINUS SIGN                -> 0x817C
    {L'\x00A2', L'\xFFE0'},  // CENT SIGN                 -> 0x8191
    {L'\x00A3', L'\xFFE1'},  // POUND SIGN                -> 0x8192
    {L'\x00AC', L'\xFFE2'},  // NOT SIGN                  -> 0x81CA
    {L'\x2014', L'\x2015'},  // EM DASH                   -> 0x815C
    {L'\x00A5', L'\x005C'},  // YEN SIGN                  -> 0x5C
    {L'\x203E', L'\x007E'},  // OVERLINE                  -> 0x7E
};

void FoldForCp932(std::wstring& wide) {
    for (wchar_t& c : wide) {
        for (const Cp932Fold& fold : kCp932Folds) {
            if (c == fold.from) {
                c = fold.to;
                break;
            }
        }
    }
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

std::string EnvironmentValue(const char* name) {
    std::wstring wideName;
    for (const char* p = name; *p != '\0'; ++p) {
        wideName.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    }
    std::wstring wide;
    // The size asked for includes the terminator; the value may change
    // between the two calls (another thread), so until it fits.
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    while (size > 0) {
        wide.assign(size, L'\0');
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), wide.data(), size);
        if (length < size) {
            wide.resize(length);
            break;
        }
        size = length;
    }
    if (size == 0 || wide.empty()) return std::string();
    const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string value(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), value.data(), bytes,
                        nullptr, nullptr);
    return value;
}

bool HostLanguageIsJapanese() { return GetACP() == kCp932; }

CodePage HostCodePage() {
    const std::string forced = EnvironmentValue("VORDEX_CODEPAGE");
    if (forced == "932") return CodePage::Cp932;
    if (forced == "65001") return CodePage::Utf8;
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

std::string FromWide(const std::wstring& given, CodePage codePage) {
    const UINT to = WindowsCodePage(codePage);
    std::wstring wide = given;
    if (to == kCp932) FoldForCp932(wide);
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
    if (target == kCp932) FoldForCp932(wide);
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
