#pragma once

#include "platform/odbc_headers.h"

#include <cstdint>
#include <mutex>

namespace vordex {

/// The one ODBC environment that every connection of the process shares.
struct OdbcEnvironment {
    SQLHENV EnvironmentHandle = nullptr;
    int32_t ConnectionCount = 0;
};

/// The process-wide record; read and write it only under DatabaseLock().
OdbcEnvironment& TheOdbcEnvironment();

/// The process-wide recursive lock of the database layer. It guards the
/// environment record and every connection's list of open result sets.
std::recursive_mutex& DatabaseLock();

using DatabaseLockGuard = std::lock_guard<std::recursive_mutex>;

/// The environment handle, read under the lock.
SQLHENV CurrentEnvironmentHandle();

}  // namespace vordex
