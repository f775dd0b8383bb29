#include "db/exception.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CException, CObject)
VORDEX_IMPLEMENT_RUNTIME_CLASS(CMemoryException, CException)

namespace {
// Made when the library loads, since memory may be short when it is thrown;
// a static object, never deleted by its catchers (AutoDelete is off).
CMemoryException outOfMemory;
}  // namespace

void ThrowMemoryException() { throw &outOfMemory; }

}  // namespace vordex
