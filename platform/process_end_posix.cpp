#include "platform/process_end.h"

namespace vordex::platform {

// exit() and dlclose() alike run the unload hook while the driver manager
// and the drivers are still loaded: it closes the connections.
bool ProcessIsEnding() { return false; }

}  // namespace vordex::platform
