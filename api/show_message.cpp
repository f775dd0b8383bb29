#include "api/show_message.h"

#include "db/library_messages.h"
#include "platform/message_box.h"
#include "platform/server_watch.h"

namespace vordex::api {

int ShowMessage(const char* text, const char* alternative) noexcept {
    try {
        const platform::ServerWatchPause userReads;
        if (text != nullptr && *text != '\0') return platform::ShowMessageBox("VORDEX", text);
        if (alternative != nullptr && *alternative != '\0') return platform::ShowMessageBox("VORDEX", alternative);
        CText fixed;
        LoadLibraryMessage(MessageUnrecoverableError, fixed);
        return platform::ShowMessageBox("VORDEX", fixed.c_str());
    } catch (...) {
        return 0;
    }
}

void ShowLibraryMessage(unsigned id) noexcept {
    try {
        CText text;
        LoadLibraryMessage(id, text);
        ShowMessage(text.c_str(), nullptr);
    } catch (...) {
    }
}

}  // namespace vordex::api
