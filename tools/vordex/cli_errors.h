#pragma once

#include <stdexcept>
#include <string>

namespace vordex::cli {

/// The command line is wrong; the process exits with status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
/// set wrote, but the data source stored other text than VALUE.
constexpr int kExitStoredOtherwise = 3;

/// The command could not be carried out (library missing, a call failed, no
/// such row...), or not wholly; the process exits with `status`, 1 unless said.
class CommandFailure : public std::runtime_error {
public:
    explicit CommandFailure(const std::string& reason, int status = kExitFailure)
        : std::runtime_error(reason), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

/// Standard output is a pipe that nobody reads any more (`vordex rows t |
/// head`): the command ends quietly, as if SIGPIPE had ended it.
class OutputClosed : public std::runtime_error {
public:
    OutputClosed() : std::runtime_error("the reader of the output has gone") {}
};

}  // namespace vordex::cli
