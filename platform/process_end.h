#pragma once

namespace vordex::platform {

/// True while the process is ending with the library still loaded (on
/// Windows, the detach notification of process termination). The drivers
/// may then be gone already, and other threads with them: the unload hook
/// leaves the connections to the system.
bool ProcessIsEnding();

}  // namespace vordex::platform
