// Messages in Windows' message box: no owner window, the caption, one OK
// button and the exclamation icon; the call returns when the user has
// closed it. The text is shown through the wide call, converted from the
// host's code page, so that it reads right whatever the system's ANSI code
// page is.
#include "platform/odbc_headers.h"

#include <cstdlib>
#include <cstring>

#include "platform/code_page.h"
#include "platform/message_box.h"
#include "platform/stderr_message.h"
#include "platform/wide_text.h"

namespace vordex::platform {

MessageBackend ChosenMessageBackend() {
    const char* chosen = std::getenv("VORDEX_DIALOG");
    if (chosen != nullptr) {
        if (std::strcmp(chosen, "stderr") == 0) return MessageBackend::Stderr;
        if (std::strcmp(chosen, "none") == 0) return MessageBackend::None;
    }
    return MessageBackend::Desktop;
}

int ShowMessageBox(const char* caption, const char* text) {
    switch (ChosenMessageBackend()) {
        case MessageBackend::None:
            return 1;
        case MessageBackend::Stderr:
        case MessageBackend::Tty:
            ShowOnStderr(caption, text);
            return 1;
        case MessageBackend::Desktop:
            break;
    }
    const CodePage host = HostCodePage();
    const std::wstring wideCaption = ToWide(caption, host);
    const std::wstring wideText = ToWide(text, host);
    return MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace vordex::platform
