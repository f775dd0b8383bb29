#include "records/columns.h"

#include <cstring>

#include "db/database.h"
#include "db/library_messages.h"
#include "platform/code_page.h"
#include "records/catalog_open.h"

namespace vordex {
namespace {

/// Names as catalog search patterns that match only themselves: "_" and "%"
/// (and the escape itself) behind the driver's search-pattern escape, which
/// is asked for once, and only when a name needs it.
class ExactPattern {
public:
    explicit ExactPattern(CDatabase& database)
        : database_(database), escapesEscape_(database.Profile().EscapesPatternEscape()) {}

    CText operator()(const CText& name) {
        if (std::strpbrk(name.c_str(), "_%\\") == nullptr || Escape() == '\0') return name;
        const platform::CodePage codePage = database_.CodePages.host;
        CText pattern;
        for (const char* p = name.c_str(); *p != '\0';) {
            const size_t step = platform::CharLength(p, codePage);
            if (step == 1 && (*p == '_' || *p == '%' || (*p == escape_ && escapesEscape_))) pattern.Append(escape_);
            pattern.Append(p, step);
            p += step;
        }
        return pattern;
    }

private:
    // NUL when the driver has no single-character escape: names go as they are.
    char Escape() {
        if (asked_) return escape_;
        asked_ = true;
        char answer[8] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN rc =
            SQLGetInfo(database_.ConnectionHandle, SQL_SEARCH_PATTERN_ESCAPE, answer, sizeof answer, &length);
        if (SQL_SUCCEEDED(rc) && length == 1) escape_ = answer[0];
        return escape_;
    }

    CDatabase& database_;
    bool escapesEscape_;
    bool asked_ = false;
    char escape_ = '\0';
};

}  // namespace

VORDEX_IMPLEMENT_RUNTIME_CLASS(CColumns, CCatalogResult)

CColumns::CColumns(CDatabase* connection) : CCatalogResult(connection, 11) {}

CColumns::~CColumns() = default;

namespace {

/// Throws the library's message when `name`, in the driver's code page, is
/// longer than the driver allows for `maxInfo` (when it says) or than 255
/// bytes. Drivers do not all check: MariaDB's overran its own stack on a
/// name of 600 bytes, and PostgreSQL would cut one of 70 to 63 and name
/// another table.
void RefuseOverlongName(CDatabase& database, const CText& name, SQLUSMALLINT maxInfo) {
    CText converted;
    size_t limit = 255;
    SQLUSMALLINT driverLimit = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(database.ConnectionHandle, maxInfo, &driverLimit, sizeof driverLimit, nullptr)) &&
        driverLimit > 0 && driverLimit < limit) {
        limit = driverLimit;
    }
    if (database.CodePages.ForDriver(name, converted).Length() > limit) ThrowLibraryMessage(MessageNameTooLong);
}

}  // namespace

// The owner and table arguments of SQLColumns are search patterns; this
// class names one table, so they are escaped to match exactly.
bool CColumns::Open(uint32_t openType, const char*, uint32_t options) {
    return OpenCatalogResult(*this, openType, options | OptNoChangeCheck, [this](SQLHSTMT statement) {
        RefuseOverlongName(*Database, OwnerParam, SQL_MAX_OWNER_NAME_LEN);
        RefuseOverlongName(*Database, TableNameParam, SQL_MAX_TABLE_NAME_LEN);
        ExactPattern exact(*Database);
        CText owner = exact(OwnerParam);
        CText table = exact(TableNameParam);
        CText sent[3];
        return SQLColumns(statement, CatalogArgument(*Database, QualifierParam, sent[0]), SQL_NTS,
                          CatalogArgument(*Database, owner, sent[1]), SQL_NTS,
                          CatalogArgument(*Database, table, sent[2]), SQL_NTS, nullptr, SQL_NTS);
    });
}

void CColumns::ExchangeFields(CFieldXfer& xfer) {
    ExchangeTableNames(xfer);
    XferText(xfer, "column_name", ColumnName);
    XferInt(xfer, "data_type", DataType);
    XferText(xfer, "type_name", TypeName);
    XferLong(xfer, "precision", Precision);
    XferLong(xfer, "length", Length);
    XferInt(xfer, "scale", Scale);
    XferInt(xfer, "radix", Radix);
    XferInt(xfer, "nullable", Nullable);
}

}  // namespace vordex
