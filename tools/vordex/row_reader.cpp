#include "row_reader.h"

#include "cli_errors.h"
#include "output_format.h"

namespace vordex::cli {

RowReader::RowReader(const VordexApi& api, int fieldCount)
    : api_(api), fieldCount_(fieldCount), rowText_(kRowTextSize) {}

const std::vector<std::string>& RowReader::Read() {
    const int listed = api_.ListText(rowText_.data(), kRowTextSize);
    if (listed == 0) throw CommandFailure("the library returned no values for the current row");

    // One call gives the whole row. It cannot be split reliably when a value
    // did not fit (the result is the buffer size) or a value holds the 0x1E
    // byte itself (more pieces than values); field by field is exact then.
    if (listed == fieldCount_) {
        values_ = SplitListText(rowText_.data());
        if (values_.size() == static_cast<size_t>(listed)) return values_;
    }
    values_.clear();
    for (int i = 0; i < fieldCount_; ++i) values_.emplace_back(api_.GetData(i));
    return values_;
}

}  // namespace vordex::cli
