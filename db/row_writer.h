#pragma once

#include <cstdint>

namespace vordex {

class CRecordset;

/// How a result set writes its current row back: chosen when it opens, one
/// contract whatever the way.
///
/// Write writes the row being edited (EditMode Editing) or added (Adding), or
/// deletes the current row (NotEditing), and either
/// - changes exactly the row as read (the saved copies hold it; an add
///   changes one new row) and makes the change lasting before it returns, or
/// - changes nothing and throws: 1024 when the row was changed or deleted
///   elsewhere since it was read (a positioned UPDATE or DELETE that its
///   driver counts as no row: 1008), 1006 when more than one row would
///   change, and the data source's own error when it refuses the write or
///   the values (a warning that it did not store them as given counts so).
/// A writer that cannot tell whether the change was made lasting (the
/// connection was lost before the answer came) says so in its exception.
///
/// ReadBack, after a successful Write, makes the record show the row as the
/// data source stored it; its failure leaves the write standing.
class RowWriter {
public:
    virtual ~RowWriter() = default;
    virtual void Write(CRecordset& record) = 0;
    /// Appends to record.UpdateSql the condition that names the current row
    /// in a composed UPDATE or DELETE; `markers` parameters precede it.
    virtual void AppendRowCondition(CRecordset& record, uint32_t markers) = 0;
    virtual void ReadBack(CRecordset& record) = 0;
};

/// The cursor's own positioned write: SQLSetPos on the result set's
/// statement, or, where the driver offers positioned statements instead,
/// UPDATE/INSERT/DELETE ... WHERE CURRENT OF on a second statement. The
/// driver alone knows which row the cursor stands on: what it reports is
/// what this writer can check.
class PositionedRowWriter final : public RowWriter {
public:
    void Write(CRecordset& record) override;
    void AppendRowCondition(CRecordset& record, uint32_t markers) override;
    /// Fetches the row again through the cursor where SQLSetPos wrote it;
    /// a positioned statement leaves a static cursor's copy as it was, and
    /// the values written stay shown.
    void ReadBack(CRecordset& record) override;
};

}  // namespace vordex
