#include "db/odbc_environment.h"

namespace vordex {

// Statics are destroyed in the reverse order of their making. The library's
// load hook makes both before anything else, so they outlive the unload
// hook, which still closes connections; after it they are freed with the
// library.
OdbcEnvironment& TheOdbcEnvironment() {
    static OdbcEnvironment environment;
    return environment;
}

std::recursive_mutex& DatabaseLock() {
    static std::recursive_mutex lock;
    return lock;
}

SQLHENV CurrentEnvironmentHandle() {
    DatabaseLockGuard guard(DatabaseLock());
    return TheOdbcEnvironment().EnvironmentHandle;
}

}  // namespace vordex
