// The entry point of VORDEX.dll. The C++ runtime's own entry point runs the
// library's load hook (a static object, see api/library_state.cpp) on the
// process attach notification before calling DllMain, and its unload hook
// on the process detach notification after DllMain has returned.
#include "platform/odbc_headers.h"

#include <atomic>

#include "platform/process_end.h"

namespace {

std::atomic<bool> processEnding{false};

}  // namespace

namespace vordex::platform {

bool ProcessIsEnding() { return processEnding.load(); }

}  // namespace vordex::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // Threads starting and ending are nothing to the library.
            DisableThreadLibraryCalls(module);
            break;
        case DLL_PROCESS_DETACH:
            // Not FreeLibrary but the end of the process: leave the drivers be.
            processEnding.store(reserved != nullptr);
            break;
        default:
            break;
    }
    return TRUE;
}
