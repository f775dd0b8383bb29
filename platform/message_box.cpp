#include "platform/message_box.h"

#include <cstdio>
#include <string>

#include "platform/code_page.h"
#include "platform/desktop_dialog.h"
#include "platform/environment.h"
#include "platform/message_text.h"
#include "platform/stderr_message.h"

namespace vordex::platform {
namespace {

constexpr const char* kTerminal = "/dev/tty";

bool TerminalAvailable() {
    FILE* tty = std::fopen(kTerminal, "r+");
    if (tty == nullptr) return false;
    std::fclose(tty);
    return true;
}

}  // namespace

MessageBackend ChosenMessageBackend() {
    const std::string chosen = EnvironmentValue("VORDEX_DIALOG");
    if (chosen == "tty") return MessageBackend::Tty;
    if (chosen == "stderr") return MessageBackend::Stderr;
    if (chosen == "none") return MessageBackend::None;
    if (!DesktopDialogProgram().empty()) return MessageBackend::Desktop;
    return TerminalAvailable() ? MessageBackend::Tty : MessageBackend::Stderr;
}

int ShowMessageBox(const char* caption, const char* text) {
    switch (ChosenMessageBackend()) {
        case MessageBackend::None:
            break;
        case MessageBackend::Desktop:
            // Modal: the dialog program returns when the user has closed it.
            if (!ShowDesktopMessage(DesktopDialogProgram(), caption, HostToUtf8(text))) ShowOnStderr(caption, text);
            break;
        case MessageBackend::Stderr:
            ShowOnStderr(caption, text);
            break;
        case MessageBackend::Tty: {
            FILE* tty = std::fopen(kTerminal, "r+");
            if (tty == nullptr) {
                ShowOnStderr(caption, text);
                break;
            }
            std::fprintf(tty, "\n[%s] %s\n[OK: press Enter] ", caption,
                         VisibleControls(text, HostCodePage()).c_str());
            std::fflush(tty);
            // Modal: the call returns when the user answers.
            int c;
            while ((c = std::fgetc(tty)) != EOF && c != '\n') {
            }
            std::fclose(tty);
            break;
        }
    }
    return 1;
}

}  // namespace vordex::platform
