// Messages in Windows' message box: no owner window, the caption, one OK
// button and the exclamation icon; the call returns when the user has
// closed it. The text is shown through the wide call, converted from the
// host's code page, so that it reads right whatever the system's ANSI code
// page is.
#include "platform/odbc_headers.h"

#include <string>

#include "platform/code_page.h"
#include "platform/environment.h"
#include "platform/message_box.h"
#include "platform/stderr_message.h"
#include "platform/wide_text.h"

namespace vordex::platform {

MessageBackend ChosenMessageBackend() {
    const std::string chosen = EnvironmentValue("VORDEX_DIALOG");
    if (chosen == "stderr") return MessageBackend::Stderr;
    if (chosen == "none") return MessageBackend::None;
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
