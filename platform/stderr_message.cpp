#include "platform/stderr_message.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/message_text.h"

namespace vordex::platform {

void ShowOnStderr(const char* caption, const char* shown) {
    const std::string visible = VisibleControls(shown, HostCodePage());
    const char* text = visible.c_str();
    std::string lines;
    for (const char* p = text; *p != '\0';) {
        const size_t length = std::strcspn(p, "\r\n");
        if (length > 0) lines.append(caption).append(": ").append(p, length).append("\n");
        p += length;
        p += std::strspn(p, "\r\n");
    }
    if (lines.empty()) lines.append(caption).append(": \n");
    std::fputs(lines.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace vordex::platform
