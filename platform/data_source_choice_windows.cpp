// The data source is chosen in the driver manager's own dialog, which
// SQLDriverConnect shows over the desktop window when the connect string
// names no data source.
#include <cstdlib>

#include "platform/data_source_choice.h"

namespace vordex::platform {

DataSourceChoice ChooseDataSource(SQLHENV) {
    const char* given = std::getenv("VORDEX_CONNECT");
    if (given != nullptr && *given != '\0') return {true, given};
    return {true, std::string()};
}

SQLHWND ConnectDialogParent() { return GetDesktopWindow(); }

}  // namespace vordex::platform
