#pragma once

#include <string>
#include <vector>

#include "vordex_api.h"

namespace vordex::cli {

/// Room for a full row of VORDEX_ListText: 32 values of at most 255 bytes,
/// each followed by 0x1E, then the NUL, with some to spare.
constexpr int kRowTextSize = 8256;

/// Reads the current row of the open record as its first `fieldCount` values.
class RowReader {
public:
    RowReader(const VordexApi& api, int fieldCount);

    /// The values of the current row. Throws CommandFailure when the library
    /// has no open record.
    const std::vector<std::string>& Read();

private:
    const VordexApi& api_;
    int fieldCount_;
    std::vector<char> rowText_;
    std::vector<std::string> values_;
};

}  // namespace vordex::cli
