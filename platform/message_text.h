#pragma once

#include <string>

#include "platform/code_page.h"

namespace vordex::platform {

/// `text` (in `codePage`) made safe for a terminal or a log: every control
/// character but CR, LF and tab (C0, DEL, and in UTF-8 the C1 range U+0080 to
/// U+009F, which terminals also obey) is written as "\xHH" or "\u00HH", so a
/// driver's message cannot move the cursor, clear the screen or retitle the
/// window. Other characters stay as they are: a tab, which servers put in
/// their messages (PostgreSQL's hint when the server goes away), only moves
/// the cursor along the line.
std::string VisibleControls(const char* text, CodePage codePage);

}  // namespace vordex::platform
