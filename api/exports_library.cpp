// The exports that concern the library state as a whole.
#include "api/library_call.h"
#include "api/library_state.h"
#include "vordex.h"

extern "C" {

// The project's version, 0xMMmmpp (CMakeLists.txt).
VORDEX_API int VORDEX_CALL VORDEX_GetVersion(void) { return VORDEX_VERSION_NUMBER; }

VORDEX_API int VORDEX_CALL VORDEX_IsOpen(void) {
    const vordex::api::LibraryCall call;
    return vordex::api::activeDatabase ? 1 : 0;
}

VORDEX_API void VORDEX_CALL VORDEX_Close(void) {
    const vordex::api::LibraryCall call;
    vordex::api::CloseActiveDatabase();
}

}  // extern "C"
