#pragma once

#include <cstdint>

#include "records/catalog_result.h"

namespace vordex {

/// The columns of one table, as SQLColumns lists them (its first eleven
/// result columns).
class CColumns : public CCatalogResult {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    explicit CColumns(CDatabase* connection);
    ~CColumns() override;

    /// Runs SQLColumns with the parameter members. The SQL text is ignored;
    /// OptNoChangeCheck is added to the option bits.
    bool Open(uint32_t openType = static_cast<uint32_t>(-1), const char* sql = nullptr,
              uint32_t options = 0) override;
    void ExchangeFields(CFieldXfer& xfer) override;

    CText ColumnName;
    int32_t DataType = 0;
    CText TypeName;
    int32_t Precision = 0;
    /// The catalog's length: for many drivers the byte size of the stored value.
    int32_t Length = 0;
    int32_t Scale = 0;
    int32_t Radix = 0;
    int32_t Nullable = 0;

    /// Kept for callers; the search never restricts the column name.
    CText ColumnNameParam;
};

}  // namespace vordex
