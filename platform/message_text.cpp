#include "platform/message_text.h"

#include <cstdio>

namespace vordex::platform {

std::string VisibleControls(const char* text, CodePage codePage) {
    std::string out;
    char escape[8];
    for (const char* p = text; *p != '\0';) {
        const auto c = static_cast<unsigned char>(*p);
        const auto next = static_cast<unsigned char>(p[1]);
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
            ++p;
        } else if (codePage == CodePage::Utf8 && c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04X", next);
            out += escape;
            p += 2;
        } else {
            const size_t length = CharLength(p, codePage);
            out.append(p, length);
            p += length;
        }
    }
    return out;
}

}  // namespace vordex::platform
