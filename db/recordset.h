#pragma once

#include "platform/odbc_headers.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "db/field_xfer.h"
#include "db/object.h"
#include "db/row_source.h"
#include "db/row_writer.h"
#include "db/text.h"

namespace vordex {

class CDatabase;

/// Cursor kinds of CRecordset::Open.
enum RecordsetOpenType : uint32_t {
    KeysetCursor = 0,
    StaticCursor = 1,
    ForwardOnly = 2,
    DynamicCursor = 3,
};

/// Option bits of CRecordset::Open.
enum RecordsetOption : uint32_t {
    OptReadOnly = 0x4,
    OptAppendOnly = 0x8,
    OptSkipDeleted = 0x10,
    OptNoChangeCheck = 0x20,
    OptBookmarks = 0x100,
    OptMultiRow = 0x200,
    OptOwnRowBuffers = 0x400,
    OptExtendedFetch = 0x800,
    OptExecuteDirect = 0x2000,
    OptRepeatAdd = 0x4000,
    /// Set in place of OptRepeatAdd while the first repeated-add statement is built.
    OptRepeatAddMarker = 0x8000,
};

/// What CRecordset::EditMode holds: no edit or add under way (a write then
/// deletes the current row), the current row being edited, or a new row
/// being added.
enum RecordsetEditMode : int32_t {
    NotEditing = 0,
    Editing = 1,
    Adding = 2,
};

/// What SQLDescribeCol reported for one result column.
struct ColumnInfoEntry {
    char Name[64] = {};
    SQLSMALLINT SqlType = 0;
    SQLULEN Precision = 0;
    SQLSMALLINT Scale = 0;
    SQLSMALLINT Nullability = 0;
};

/// The field exchange's bookkeeping for one output column.
struct ColumnRecord {
    /// The saved copy: the value itself for held-in-place types (integers),
    /// else the address of a separately allocated copy (text).
    union {
        int32_t Value;
        CText* Text;
    } Saved;
    /// Length/indicator bound with SQLBindCol.
    SQLLEN Indicator;
    /// The storage bound with SQLBindCol for a text column and its size in
    /// bytes: where a source of rows of the library's own puts a row.
    char* BoundBuffer;
    SQLLEN BoundBytes;
    uint32_t TypeCode;
    uint8_t SavedStatus;
    /// Where the connection converts between code pages: the storage bound
    /// in place of a text member, which holds the driver's form of its
    /// value, and the member's limit in bytes of the host's code page.
    std::unique_ptr<CText> DriverText;
    size_t HostLimit;
};

/// Base class of every result set: one statement on a connection, its rows
/// walked through the fields that the derived class lists in ExchangeFields.
class CRecordset : public CObject {
    VORDEX_DECLARE_RUNTIME_CLASS()
public:
    explicit CRecordset(CDatabase* connection);
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;
    ~CRecordset() override;

    // Virtual operations.
    /// Opens the result set; false only when a connection of its own was not made.
    virtual bool Open(uint32_t openType = static_cast<uint32_t>(-1), const char* sql = nullptr, uint32_t options = 0);
    virtual void Close();
    /// Makes another row current.
    virtual void Move(int32_t rows, SQLUSMALLINT fetchType);
    /// Multi-row fetching is refused at Open; this changes nothing.
    virtual void ResizeRowset(uint32_t rows);
    /// Returns when a fetch's answer is acceptable, throws otherwise.
    virtual void CheckFetchResult(SQLRETURN rc);
    /// Enters add mode: every column null, the current row saved.
    virtual void BeginAdd();
    /// Enters edit mode for the current row, saving its values.
    virtual void Edit();
    /// Writes the changed columns of the row being edited or added; false
    /// when nothing had changed.
    virtual bool Update();
    /// Deletes the current row.
    virtual void DeleteRow();
    /// Abandons an edit or add: the values saved when it began are back in
    /// the members, and nothing is written.
    void CancelUpdate();
    /// Runs the statement again.
    virtual bool Refresh();
    virtual CText DefaultConnect();
    virtual CText DefaultSQL();
    virtual void SetStatementOptions(SQLHSTMT statement);
    /// Appends the select list of a composed SELECT to `sql`, every item
    /// followed by ","; returns the number of fields listed. By default the
    /// names that ExchangeFields lists.
    virtual uint32_t AppendSelectList(CText& sql);
    /// Lists the fields: one exchange function call per field.
    virtual void ExchangeFields(CFieldXfer& xfer);
    virtual void ExchangeRowsetFields(CFieldXfer& xfer);
    /// True for 0, 1, 99 and 100.
    virtual bool Succeeded(SQLRETURN rc) const;
    virtual void AfterFetch(SQLRETURN rc, SQLUSMALLINT fetchType, int32_t rows, SQLULEN rowsFetched);
    virtual void BeforeFirstFetch() {}
    /// Sets the null bits of the row just fetched and repairs its values: an
    /// OpFixUpFetched pass. A class whose fields allow a quicker way to the
    /// same result may take it: this runs for every fetched row.
    virtual void FixUpFetchedRow() { RunPass(OpFixUpFetched); }
    /// Throws the CDBException for `rc` (a null statement means StatementHandle).
    [[noreturn]] virtual void ThrowError(SQLRETURN rc, SQLHSTMT statement = nullptr);

    // Object and close.
    bool IsOpen();
    void AllocateRowStatus();
    void FreeRowStatus();
    void ResetPosition();
    /// A row is current: not before the first or after the last row, not
    /// deleted, and the last fetch delivered it whole.
    bool HasCurrentRow() const { return !AtStart && !AtEnd && !RowDeleted && !FetchFailed; }

    // Open steps.
    void RecordOpenRequest(uint32_t openType, const char* sql, uint32_t options);
    bool AllocateStatement();
    void RequestBookmarks();
    void CheckScrollSupport();
    SQLUSMALLINT ChooseCursorType();
    void ChooseUpdateMethod();
    void ApplyCursorOptions(SQLHSTMT statement, SQLUSMALLINT cursorType);
    void ExecuteStatement();
    /// Replaces the statement handle by a new one with the statement options
    /// chosen again (for a concurrency that a prepared statement cannot take).
    void RenewStatement();
    void DescribeResultColumns();
    /// The first fetch after execution: binds the columns and fetches row 1.
    void MoveToFirstRow();
    /// Runs `step` and returns what it returns; when it throws, the result
    /// set is closed and the exception goes on as it was.
    template <class Step>
    auto ClosingOnFailure(Step&& step) -> decltype(step()) {
        try {
            return step();
        } catch (...) {
            Close();
            throw;
        }
    }

    // SQL construction.
    void ComposeSQL(const char* sql);
    void ComposeSelect();
    void AddWhereOrderBy();
    bool SqlAllowsUpdate();
    bool SelectAllowsUpdate(const char* text);
    bool IsMultiTable(const char* clause);
    /// Position of `keyword` (in capitals) outside quotes and brackets, or -1.
    static long FindKeyword(const char* text, const char* keyword);

    // Fetching.
    void CheckMove(SQLUSMALLINT fetchType, int32_t rows);
    SQLRETURN FetchRow(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched);
    void FetchSkippingDeleted(SQLUSMALLINT fetchType, int32_t rows, SQLULEN& rowsFetched, SQLRETURN& rc);

    // Writing rows.
    /// The worker of Update and DeleteRow (NotEditing deletes): permission
    /// and changes checked here, the write itself Writer's.
    bool WriteRow();
    /// After a write of the current row: the row as the data source stored
    /// it (Writer's ReadBack).
    void ReadBackWrittenRow() { Writer->ReadBack(*this); }
    void WriteBySetPos();
    void PrepareUpdateStatement();
    void BuildUpdateSql();
    void ExecuteUpdateSql();
    /// Feeds the parameters that the driver asks for at execution.
    void SendDataAtExecution(SQLHSTMT statement);
    void CancelStatements();
    /// Asks for the cursor's name once per open result set.
    void ReadCursorName();

    // Field exchange, engine side.
    void BindColumns();
    void AllocFieldState();
    void FreeSavedCopies();
    /// Hands a pass to ExchangeFields (or ExchangeRowsetFields, by the options).
    void ListFields(CFieldXfer& xfer);
    /// Runs a pass that needs nothing but its code; returns its column count.
    uint32_t RunPass(uint32_t operation);
    uint32_t RunBindParamsPass(SQLHSTMT statement);
    /// Appends what `operation` lists to `sql`; `markers`, when given, gets
    /// the number of parameter markers appended.
    uint32_t RunAppendPass(uint32_t operation, CText& sql, const char* separator, SQLHSTMT statement = nullptr,
                           uint32_t* markers = nullptr);
    void RunRestoreCopiesPass();
    int ColumnNumberOf(const void* address) const;
    int ParamNumberOf(const void* address) const;
    void SetFieldNull(const void* address, bool makeNull);
    void SetFieldChanged(const void* address, bool changed);
    bool IsFieldChanged(const void* address);

    SQLHSTMT StatementHandle = nullptr;
    CDatabase* Database = nullptr;
    CText Filter;
    CText Sort;
    uint32_t FieldCount = 0;
    uint32_t ParamCount = 0;
    int32_t CheckChanges = 1;
    int32_t UpdateBySql = 0;
    uint32_t Options = 0;
    SQLSMALLINT ResultColumnCount = -1;
    std::unique_ptr<ColumnInfoEntry[]> ColumnInfo;
    std::unique_ptr<ColumnRecord[]> ColumnRecords;
    std::unordered_map<const void*, int> ColumnIndexMap;
    std::unordered_map<const void*, int> ParamIndexMap;
    uint32_t OpenType = StaticCursor;
    uint32_t DefaultOpenType = StaticCursor;
    int32_t OpenState = -1;
    RecordsetEditMode EditMode = NotEditing;
    int32_t EndSeen = 0;
    int32_t RecordCount = 0;
    int32_t CurrentRecord = -2;
    CText CursorName;
    uint32_t ScrollConcurrency = 0;
    uint32_t Concurrency = SQL_CONCUR_READ_ONLY;
    /// The driver answered the concurrency request with a substitute
    /// (SQL_SUCCESS_WITH_INFO): what it granted is read after execution.
    int32_t ConcurrencySubstituted = 0;
    std::unique_ptr<SQLUSMALLINT[]> RowStatus;
    SQLULEN RowsFetched = 0;
    SQLHSTMT UpdateStatement = nullptr;
    /// How rows are written: the cursor's own positioned write unless the
    /// class chose another while the statement options were set.
    std::unique_ptr<RowWriter> Writer = std::make_unique<PositionedRowWriter>();
    /// Where the rows come from: the statement's own cursor where null, else
    /// a cursor of the library's own that the class chose while the
    /// statement options were set.
    std::unique_ptr<RowSource> Source;
    int32_t OwnsDatabase = 0;
    int32_t AtStart = 0;
    int32_t AtEnd = 0;
    int32_t UpdateAllowed = 0;
    int32_t AppendAllowed = 0;
    CText SqlStatement;
    CText UpdateSql;
    CText SourceTable;
    int32_t Scrollable = 0;
    int32_t RowDeleted = 0;
    /// The last fetch was refused (a truncated value, a row error, a lost
    /// connection): the bound members hold no row, whatever they show.
    int32_t FetchFailed = 0;
    int32_t BoundColumnCount = 0;
    std::unique_ptr<uint8_t[]> ColumnStatus;
    std::unique_ptr<uint8_t[]> ParamStatus;
    std::unique_ptr<SQLLEN[]> ParamLengths;
    CText SavedSql;
    CText SavedFilter;
    CText SavedSort;
};

}  // namespace vordex
