#pragma once

#include <cstddef>
#include <cstdio>

namespace vordex::cli {

/// A running count of the rows read, on standard error. Shown only when
/// standard error is a terminal and, while rows are printed as they are
/// read, standard output is not (on a shared terminal the count would tear
/// the printed rows apart). Cleared when done. The library tells no row
/// count, so no total is shown.
class RowProgress {
public:
    static constexpr long kInterval = 1000;

    explicit RowProgress(bool printsRows);
    ~RowProgress();
    RowProgress(const RowProgress&) = delete;
    RowProgress& operator=(const RowProgress&) = delete;

    /// Counts one row read; every kInterval rows the shown count changes.
    void RowDone();

private:
    bool shown_;
    long rows_ = 0;
    int lineLength_ = 0;
};

}  // namespace vordex::cli
