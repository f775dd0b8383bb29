#pragma once

namespace vordex::platform {

/// Where the library's messages go (environment variable VORDEX_DIALOG).
enum class MessageBackend {
    Desktop,  ///< "desktop": a dialog window (zenity or kdialog) on the display
    Tty,      ///< "tty": print on /dev/tty and wait for Enter, like a modal box
    Stderr,   ///< "stderr": a line "VORDEX: <line>" per line on standard error
    None,     ///< "none": show nothing
};

/// The backend that VORDEX_DIALOG names; unset (or unknown, or a desktop
/// with no display or dialog program): desktop when a display is set and a
/// dialog program is there, else tty when /dev/tty can be opened, else stderr.
MessageBackend ChosenMessageBackend();

/// Shows `text` with the caption and waits until the user dismisses it
/// (tty only). Returns 1, the OK button.
int ShowMessageBox(const char* caption, const char* text);

}  // namespace vordex::platform
