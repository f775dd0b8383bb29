#include "db/long_binary.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CLongBinary, CObject)

}  // namespace vordex
