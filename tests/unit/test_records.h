#pragma once

#include "db/field_xfer.h"
#include "db/recordset.h"

/// A result-set class of the tests: a 32-bit id, a text and a small integer.
class TestRecord : public vordex::CRecordset {
public:
    explicit TestRecord(vordex::CDatabase* db) : CRecordset(db) { FieldCount = 3; }

    int32_t id = 0;
    vordex::CText name;
    int32_t small = 0;

    vordex::CText DefaultSQL() override { return vordex::CText("[T]"); }
    void ExchangeFields(vordex::CFieldXfer& xfer) override {
        xfer.fieldKind = vordex::kOutputColumns;
        vordex::XferLong(xfer, "ID", id);
        vordex::XferText(xfer, "NAME", name);
        vordex::XferInt(xfer, "SMALL", small);
    }
};
