#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vordex::platform {

/// The dialog program of the desktop: "zenity", else "kdialog", when a
/// display is set (DISPLAY or WAYLAND_DISPLAY) and the program is on the
/// PATH; empty otherwise.
std::string DesktopDialogProgram();

/// Shows `utf8Text` in a window titled `caption` with a warning icon and one
/// OK button, and returns when the user has closed it. False when no window
/// could be shown.
bool ShowDesktopMessage(const std::string& program, const char* caption, const std::string& utf8Text);

/// Lets the user pick one of `entries` (name, description) in a list window;
/// the chosen name, or nothing when the user cancels or no window could be
/// shown.
std::optional<std::string> ChooseInDesktopList(const std::string& program, const char* caption,
                                               const std::string& prompt,
                                               const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace vordex::platform
