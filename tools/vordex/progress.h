#pragma once

#include <cstddef>
#include <cstdio>

namespace vordex::cli {

/// A running row count on standard error for long outputs. Shown only when
/// standard error is a terminal and standard output is not (on a shared
/// terminal the count would tear the printed rows apart). Cleared when done.
class RowProgress {
public:
    static constexpr long kInterval = 1000;

    RowProgress();
    ~RowProgress();
    RowProgress(const RowProgress&) = delete;
    RowProgress& operator=(const RowProgress&) = delete;

    /// Counts one printed row; every kInterval rows the shown count changes.
    void RowDone();

private:
    bool shown_;
    long rows_ = 0;
    int lineLength_ = 0;
};

}  // namespace vordex::cli
