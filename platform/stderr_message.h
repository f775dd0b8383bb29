#pragma once

namespace vordex::platform {

/// Writes `text` on standard error as a line "caption: ..." for every line
/// of it: CR LF and blank lines, meant for a message box, would break a log;
/// other control characters are shown escaped (VisibleControls).
void ShowOnStderr(const char* caption, const char* text);

}  // namespace vordex::platform
