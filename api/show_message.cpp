#include "api/show_message.h"

#include <cstring>
#include <string>

#include "api/guarded_call.h"
#include "api/library_state.h"
#include "db/db_exception.h"
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

void ShowLibraryMessage(unsigned id, unsigned number) noexcept {
    try {
        CText text;
        LoadLibraryMessage(id, text);
        // "%d" is ASCII, never the trail byte of a CP932 character.
        const char* mark = std::strstr(text.c_str(), "%d");
        if (mark != nullptr) {
            CText filled;
            filled.Assign(text.c_str(), static_cast<size_t>(mark - text.c_str()));
            filled.Append(std::to_string(number).c_str());
            filled.Append(mark + 2);
            text = filled;
        }
        ShowMessage(text.c_str(), nullptr);
    } catch (...) {
    }
}

void ShowCallFailure(const CDBException* e, bool lostBefore) noexcept {
    unsigned silentSeconds = 0;
    try {
        CDatabase* connection = ActiveConnection();
        // Lost before the call, and not connected anew by it.
        if (lostBefore && connection != nullptr && connection->ConnectionLost()) {
            return ShowLibraryMessage(MessageConnectionLost);
        }
        if (connection != nullptr && connection->IsConnected()) {
            if (e != nullptr) connection->NoteFailure(*e);
            silentSeconds = platform::ServerWatch::CutAfter(connection->Sockets);
        }
    } catch (...) {
    }
    if (silentSeconds != 0) return ShowLibraryMessage(MessageNoAnswer, silentSeconds);
    if (e == nullptr) {
        ShowMessage(nullptr, nullptr);
    } else {
        ShowMessage(e->ErrorText.c_str(), e->StateText.c_str());
    }
}

}  // namespace vordex::api
