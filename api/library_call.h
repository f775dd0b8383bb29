#pragma once

#include "db/odbc_environment.h"

namespace vordex::api {

/// Held for the whole of every exported call (but VORDEX_GetVersion, which
/// touches nothing). The calls are for one caller at a time; a host that
/// calls from two threads at once waits here instead of corrupting memory.
/// It is the database layer's own recursive lock, which the calls take again
/// inside.
class LibraryCall {
public:
    LibraryCall() : guard_(DatabaseLock()) {}
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;

private:
    DatabaseLockGuard guard_;
};

}  // namespace vordex::api
