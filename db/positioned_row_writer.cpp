// The cursor's own positioned write.
#include "platform/odbc_headers.h"

#include "db/recordset.h"
#include "db/row_writer.h"

namespace vordex {
namespace {

/// Stands the marker bit in for OptRepeatAdd while the first repeated-add
/// statement is composed, and puts OptRepeatAdd back however that ends.
class RepeatAddMarker {
public:
    explicit RepeatAddMarker(uint32_t& options) : options_(options), active_(options & OptRepeatAdd) {
        if (active_) options_ = (options_ & ~OptRepeatAdd) | OptRepeatAddMarker;
    }
    ~RepeatAddMarker() {
        if (active_) options_ = (options_ & ~OptRepeatAddMarker) | OptRepeatAdd;
    }
    RepeatAddMarker(const RepeatAddMarker&) = delete;
    RepeatAddMarker& operator=(const RepeatAddMarker&) = delete;

private:
    uint32_t& options_;
    bool active_;
};

}  // namespace

void PositionedRowWriter::Write(CRecordset& record) {
    if (!record.UpdateBySql) {
        record.WriteBySetPos();
        return;
    }
    const bool first = record.UpdateStatement == nullptr;
    record.PrepareUpdateStatement();
    if ((record.Options & OptRepeatAdd) && !first) {
        record.RunAppendPass(OpAppendValues, record.UpdateSql, ",", record.UpdateStatement);
    } else {
        // Under the marker the composition prepares the statement once.
        RepeatAddMarker marker(record.Options);
        record.BuildUpdateSql();
    }
    record.ExecuteUpdateSql();
}

void PositionedRowWriter::AppendRowCondition(CRecordset& record, uint32_t) {
    record.ReadCursorName();
    record.UpdateSql.Append(" WHERE CURRENT OF ");
    record.UpdateSql.Append(record.CursorName);
}

void PositionedRowWriter::ReadBack(CRecordset& record) {
    if (record.Scrollable && !record.UpdateBySql) record.Move(0, SQL_FETCH_RELATIVE);
}

}  // namespace vordex
