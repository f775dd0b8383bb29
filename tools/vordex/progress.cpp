#include "progress.h"

#include <unistd.h>

namespace vordex::cli {

RowProgress::RowProgress(bool printsRows)
    : shown_(isatty(STDERR_FILENO) == 1 && !(printsRows && isatty(STDOUT_FILENO) == 1)) {}

RowProgress::~RowProgress() {
    if (lineLength_ > 0) std::fprintf(stderr, "%*s\r", lineLength_, "");
}

void RowProgress::RowDone() {
    ++rows_;
    if (!shown_ || rows_ % kInterval != 0) return;
    // The cursor goes back to the line start, so a message that follows
    // overwrites the count instead of trailing after it.
    const int length = std::fprintf(stderr, "vordex: %ld rows read\r", rows_);
    if (length > lineLength_) lineLength_ = length;
}

}  // namespace vordex::cli
