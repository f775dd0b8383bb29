// The data source is chosen in the driver manager's own dialog, which
// SQLDriverConnect shows over the desktop window when the connect string
// names no data source.
#include <string>

#include "platform/data_source_choice.h"
#include "platform/environment.h"

namespace vordex::platform {

DataSourceChoice ChooseDataSource(SQLHENV) {
    // Empty when unset: the driver manager's dialog chooses.
    return {true, EnvironmentValue("VORDEX_CONNECT")};
}

SQLHWND ConnectDialogParent() { return GetDesktopWindow(); }

}  // namespace vordex::platform
