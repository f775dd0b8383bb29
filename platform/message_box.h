#pragma once

namespace vordex::platform {

/// Where the library's messages go (environment variable VORDEX_DIALOG).
enum class MessageBackend {
    Tty,     ///< "tty": print on /dev/tty and wait for Enter, like a modal box
    Stderr,  ///< "stderr": one line "VORDEX: <text>" on standard error
    None,    ///< "none": show nothing
};

/// The backend that VORDEX_DIALOG names; unset (or unknown): tty when
/// /dev/tty can be opened, else stderr.
MessageBackend ChosenMessageBackend();

/// Shows `text` with the caption and waits until the user dismisses it
/// (tty only). Returns 1, the OK button.
int ShowMessageBox(const char* caption, const char* text);

}  // namespace vordex::platform
