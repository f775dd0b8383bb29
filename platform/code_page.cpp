#include "platform/code_page.h"

#include <cstring>

#include "platform/code_page_system.h"

namespace vordex::platform {
namespace {

bool IsCp932LeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsCp932TrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
// Every double-byte ANSI code page (932, 936, 949, 950) takes trail bytes
// from 0x40 up only: never a control character, a quote or a digit.
bool IsAnsiTrailByte(unsigned char c) { return c >= 0x40 && c != 0x7F; }

// ASCII only, whatever the locale: these are SQL keywords and ODBC prefixes.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

size_t Utf8SequenceLength(const unsigned char* p) {
    unsigned char lead = p[0];
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (lead >= 0xF5) length = 1;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 1;  // broken sequence: take the lead byte alone
    }
    return length;
}

size_t CharLength(const char* p, CodePage codePage) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(p);
    if (bytes[0] < 0x80) return 1;
    switch (codePage) {
        case CodePage::Cp932:
            return IsCp932LeadByte(bytes[0]) && IsCp932TrailByte(bytes[1]) ? 2 : 1;
        case CodePage::Ansi:
            return IsAnsiLeadByte(bytes[0]) && IsAnsiTrailByte(bytes[1]) ? 2 : 1;
        case CodePage::Utf8:
            break;
    }
    return Utf8SequenceLength(bytes);
}

size_t WholeCharacterPrefix(const char* text, size_t maxBytes, CodePage codePage, size_t maxChars) {
    size_t end = 0;
    for (size_t chars = 0; text[end] != '\0' && (maxChars == 0 || chars < maxChars); ++chars) {
        const size_t next = end + CharLength(text + end, codePage);
        if (next > maxBytes) break;
        end = next;
    }
    return end;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (AsciiUpper(*text) != AsciiUpper(*prefix)) return false;
    }
    return true;
}

size_t ConvertText(const char* text, size_t length, CodePage from, CodePage to, char* out, size_t room, bool strict) {
    size_t ascii = 0;
    while (ascii < length && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    // ASCII is the same bytes in every code page here; so is any text left
    // in the code page it is in when nothing asks for its check.
    if (ascii == length || (from == to && !strict)) {
        if (length > room) return kNotConverted;
        std::memcpy(out, text, length);
        return length;
    }
    return ConvertThroughSystem(text, length, from, to, out, room, strict);
}

bool IsValidText(const char* text, size_t length, CodePage codePage) {
    std::string scratch(ConvertedRoom(length), '\0');
    return ConvertText(text, length, codePage, CodePage::Utf8, scratch.data(), scratch.size(), true) != kNotConverted;
}

namespace {

std::string Converted(const char* text, CodePage from, CodePage to) {
    const size_t length = std::strlen(text);
    std::string out(ConvertedRoom(length), '\0');
    const size_t written = ConvertText(text, length, from, to, out.data(), out.size(), false);
    out.resize(written != kNotConverted ? written : 0);
    return out;
}

}  // namespace

std::string Utf8ToCodePage(const char* utf8, CodePage codePage) { return Converted(utf8, CodePage::Utf8, codePage); }

std::string Utf8ToHost(const char* utf8) { return Utf8ToCodePage(utf8, HostCodePage()); }

std::string HostToUtf8(const char* text) { return Converted(text, HostCodePage(), CodePage::Utf8); }

}  // namespace vordex::platform
