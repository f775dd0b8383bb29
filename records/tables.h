#pragma once

#include "records/catalog_result.h"

namespace vordex {

/// The tables of the connected data source, as SQLTables lists them.
class CTables : public CCatalogResult {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    explicit CTables(CDatabase* connection);
    ~CTables() override;

    /// Runs SQLTables with the parameter members. The SQL text is ignored and
    /// the option bits are always OptNoChangeCheck alone.
    bool Open(uint32_t openType = static_cast<uint32_t>(-1), const char* sql = nullptr,
              uint32_t options = 0) override;
    void ExchangeFields(CFieldXfer& xfer) override;

    CText TableType;
    CText Remarks;

    /// A table-type list such as "'TABLE'"; empty lists every type.
    CText TableTypeParam;
};

}  // namespace vordex
