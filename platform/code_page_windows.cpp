// The host's code page is the system's ANSI code page; conversions go
// through UTF-16 with Windows' own calls.
#include "platform/odbc_headers.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/code_page.h"
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

CText Utf8ToCodePage(const char* utf8, CodePage codePage) {
    CText result;
    if (codePage == CodePage::Utf8) {
        result.Assign(utf8);
        return result;
    }
    const std::string converted = FromWide(ToWide(utf8, CodePage::Utf8), codePage);
    result.Assign(converted.c_str(), converted.size());
    return result;
}

std::string HostToUtf8(const char* text) {
    const CodePage host = HostCodePage();
    if (host == CodePage::Utf8) return text;
    return FromWide(ToWide(text, host), CodePage::Utf8);
}

}  // namespace vordex::platform
