#include "text_encoding.h"

#include <algorithm>
#include <string>

#include "platform/code_page.h"

namespace vordex::cli {

// The library's own choice, by its own code (built into vordex as well).
// vordex never calls setlocale: the locale's codeset names no code page, and
// the locale variables decide.
TextEncoding HostTextEncoding() {
    return platform::HostCodePage() == platform::CodePage::Cp932 ? TextEncoding::Cp932 : TextEncoding::Utf8;
}

bool IsCp932LeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

namespace {

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
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

std::string ToUtf8(const std::string& text, TextEncoding encoding) {
    if (encoding == TextEncoding::Cp932) {
        // The library's conversion, by the same converters it uses.
        std::string out(platform::ConvertedRoom(text.size()), '\0');
        const size_t written = platform::ConvertText(text.c_str(), text.size(), platform::CodePage::Cp932,
                                                     platform::CodePage::Utf8, out.data(), out.size(), false);
        out.resize(written == platform::kNotConverted ? 0 : written);
        return out;
    }
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str() + i);
        const size_t length = std::min(platform::Utf8SequenceLength(bytes), text.size() - i);
        if (length == 1 && bytes[0] >= 0x80) {
            out += '?';
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

}  // namespace vordex::cli
