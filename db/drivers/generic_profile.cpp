// What the library does for any ODBC driver it does not know: what ODBC
// itself promises, and nothing more.
#include "db/database.h"
#include "db/drivers/driver_profile.h"

namespace vordex {

const char* DriverProfile::Name() const { return "generic"; }

bool DriverProfile::NamesThisDriver(const std::string&) const { return false; }

bool DriverProfile::ServesConnection(const std::string&, const std::string&) const { return false; }

std::string DriverProfile::PrepareConnectString(const CDatabase&, const std::string& connect) const { return connect; }

void DriverProfile::ExplainFailedConnect(const std::string&) const {}

// A data source that cannot say is taken to send the host's code page.
platform::CodePage DriverProfile::DriverCodePage(CDatabase& database) const { return database.CodePages.host; }

bool DriverProfile::ScansQuotesByByte(platform::CodePage) const { return false; }

void DriverProfile::BoundWaits(CDatabase&) const {}
std::string DriverProfile::WriteWaitBounds(const CDatabase&) const { return ""; }
bool DriverProfile::TimeoutOutlivesStatement() const { return false; }

void DriverProfile::CheckReadable(CDatabase&) const {}

const char* DriverProfile::ClientPortQuery() const { return nullptr; }

int DriverProfile::DefaultServerPort() const { return 0; }
std::string DriverProfile::LocalSocketPath(const std::string&) const { return ""; }

bool DriverProfile::RowsEndOnlyOnLiveConnection() const { return true; }

bool DriverProfile::TextLengthsReported() const { return false; }

bool DriverProfile::PrefersStaticCursor() const { return false; }

bool DriverProfile::EscapesPatternEscape() const { return true; }

int32_t DriverProfile::SqlTypeAsHandled(int32_t listedType, const char*) const { return listedType; }

bool DriverProfile::ReadsBinaryAsHex() const { return false; }

bool DriverProfile::ReadsBitsAsNumber() const { return false; }

char DriverProfile::IdentifierQuote(char reported) const { return reported; }

bool DriverProfile::ReadsInBlocksByKey() const { return false; }

const char* DriverProfile::RowNumberColumn(CDatabase&, const CText&) const { return nullptr; }

bool DriverProfile::ReadingChosenIn(const std::string&) const { return false; }

const KeyWriteTraits* DriverProfile::KeyWrites() const { return nullptr; }

KeyForm DriverProfile::KeyFormFor(int32_t) const { return KeyForm::Text; }

KeyForm DriverProfile::CompareFormFor(int32_t, bool) const { return KeyForm::Text; }

std::vector<const char*> DriverProfile::RowVersionColumns() const { return {}; }

bool DriverProfile::KeyIsRowNumber(CDatabase&, const CText&) const { return false; }

const DriverProfile& GenericProfile() {
    static const DriverProfile generic;
    return generic;
}

}  // namespace vordex
