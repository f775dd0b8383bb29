#pragma once

#include "platform/odbc_headers.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vordex::platform {

/// One data source the driver manager knows.
struct DataSourceEntry {
    std::string name;
    std::string description;
};

/// What the user chose where the driver manager would show its dialog.
struct DataSourceChoice {
    bool chosen = false;  ///< false: cancelled
    std::string connect;  ///< the connect string of the chosen source
};

/// VORDEX_CONNECT when set. Otherwise, on Windows, the driver manager's own
/// dialog does the choosing (chosen, with an empty connect string: the
/// connection is made with ConnectDialogParent); elsewhere a list in a
/// desktop window or a numbered menu on /dev/tty, and without either, or on
/// an empty answer, a cancel.
DataSourceChoice ChooseDataSource(SQLHENV environment);

/// The window the driver manager's own dialog belongs to: the desktop on
/// Windows; none elsewhere, where unixODBC would look for a GUI plug-in
/// through one (and refuses SQL_DRIVER_PROMPT without it).
SQLHWND ConnectDialogParent();

/// The user and system data sources, as SQLDataSources lists them.
std::vector<DataSourceEntry> ListDataSources(SQLHENV environment);

/// Shows the numbered menu on `out` and reads the answer from `in`.
DataSourceChoice AskFromMenu(const std::vector<DataSourceEntry>& sources, FILE* in, FILE* out);

}  // namespace vordex::platform
