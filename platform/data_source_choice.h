#pragma once

#include <sql.h>

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

/// VORDEX_CONNECT when set; otherwise a numbered menu of the data sources on
/// /dev/tty; without a terminal, or on an empty answer, a cancel.
DataSourceChoice ChooseDataSource(SQLHENV environment);

/// The user and system data sources, as SQLDataSources lists them.
std::vector<DataSourceEntry> ListDataSources(SQLHENV environment);

/// Shows the numbered menu on `out` and reads the answer from `in`.
DataSourceChoice AskFromMenu(const std::vector<DataSourceEntry>& sources, FILE* in, FILE* out);

}  // namespace vordex::platform
