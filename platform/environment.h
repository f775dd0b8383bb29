#pragma once

#include <string>

namespace vordex::platform {

/// The value of the environment variable `name` (ASCII) as the process has
/// it at the moment of the call; empty when it is unset. Read where it is
/// used, never kept: a host may set a setting just before the call that
/// needs it.
///
/// On Windows it is read with GetEnvironmentVariableW, which sees what the
/// host set with SetEnvironmentVariable after the process started (the C
/// runtime's getenv does not: it keeps the copy it took at start), and is
/// converted to the system's ANSI code page, the one odbc32 reads the texts
/// of the ANSI ODBC calls in, whatever VORDEX_CODEPAGE says: a connect
/// string reaches the driver as the host wrote it. A character that code
/// page lacks becomes "?" (no look-alike: a password is never changed into
/// another one that might pass). Elsewhere it is getenv's value.
std::string EnvironmentValue(const char* name);

/// True when the host's own setting is Japanese: on Windows, an ANSI code
/// page of 932; elsewhere, the first of LC_ALL, LC_MESSAGES and LANG that is
/// set and not empty begins with "ja" (as gettext reads them).
bool HostLanguageIsJapanese();

}  // namespace vordex::platform
