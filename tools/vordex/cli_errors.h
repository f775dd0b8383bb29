#pragma once

#include <stdexcept>

namespace vordex::cli {

/// The command line is wrong; the process exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The command could not be carried out (library missing, a call failed, no
/// such row...); the process exits with status 1.
class CommandFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

}  // namespace vordex::cli
