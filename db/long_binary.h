#pragma once

#include "platform/odbc_headers.h"

#include <cstddef>
#include <memory>

#include "db/object.h"

namespace vordex {

/// A block of binary data of any size, the value a result-set class binds
/// for a parameter that is sent at execution (SQLPutData) instead of from a
/// bound buffer.
class CLongBinary : public CObject {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    CLongBinary() = default;
    explicit CLongBinary(size_t bytes) : Block(new unsigned char[bytes]), Length(static_cast<SQLLEN>(bytes)) {}

    /// The block's bytes, fixed in place until Unlock.
    void* Lock() {
        ++LockCount;
        return Block.get();
    }
    void Unlock() {
        if (LockCount > 0) --LockCount;
    }

    std::unique_ptr<unsigned char[]> Block;
    /// Bytes in the block.
    SQLLEN Length = 0;
    int LockCount = 0;
};

}  // namespace vordex
