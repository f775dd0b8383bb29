#pragma once

#include <cstdint>

#include "db/object.h"

namespace vordex {

/// Base of every exception of the library. Exceptions are thrown as pointers;
/// the catcher calls Delete(), which frees heap-made ones (AutoDelete set) and
/// leaves static ones alone.
class CException : public CObject {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    CException() = default;
    explicit CException(bool autoDelete) : AutoDelete(autoDelete ? 1 : 0) {}

    int32_t AutoDelete = 1;

    void Delete() {
        if (AutoDelete) delete this;
    }
};

/// Allocation failure. There is one static instance; it is never deleted.
class CMemoryException : public CException {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    CMemoryException() : CException(false) {}
};

/// Throws the static out-of-memory exception.
[[noreturn]] void ThrowMemoryException();

}  // namespace vordex
