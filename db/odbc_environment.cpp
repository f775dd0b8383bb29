#include "db/odbc_environment.h"

namespace vordex {

// Both live until the process ends: the library's unload hook still closes
// connections after function-local statics made later would be destroyed.
OdbcEnvironment& TheOdbcEnvironment() {
    static auto* environment = new OdbcEnvironment;
    return *environment;
}

std::recursive_mutex& DatabaseLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

SQLHENV CurrentEnvironmentHandle() {
    DatabaseLockGuard guard(DatabaseLock());
    return TheOdbcEnvironment().EnvironmentHandle;
}

}  // namespace vordex
