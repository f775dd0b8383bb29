#include "db/exception.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CException, CObject)
VORDEX_IMPLEMENT_RUNTIME_CLASS(CMemoryException, CException)

namespace {
// Made when the library loads, since memory may be short when it is thrown,
// and never destroyed, since it may still be thrown while the library unloads.
CMemoryException* const outOfMemory = new CMemoryException;
}  // namespace

void ThrowMemoryException() { throw outOfMemory; }

}  // namespace vordex
