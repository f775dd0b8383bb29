// The one list of the drivers the library knows, and how a connection's
// driver is found in it.
#include <cctype>

#include "db/drivers/driver_profile.h"
#include "platform/connect_string.h"
#include "platform/data_source_setting.h"

namespace vordex {
namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

/// The profile that claims a driver named `name`; the generic one for none.
const DriverProfile& ProfileNaming(const std::string& name) {
    const std::string lower = LowerCase(name);
    for (const DriverProfile* profile : DriverProfiles()) {
        if (profile->NamesThisDriver(lower)) return *profile;
    }
    return GenericProfile();
}

}  // namespace

const std::array<const DriverProfile*, 4>& DriverProfiles() {
    static const std::array<const DriverProfile*, 4> profiles = {&SqliteProfile(), &MariaDbProfile(),
                                                                 &PostgresProfile(), &GenericProfile()};
    return profiles;
}

const DriverProfile& ProfileForConnectString(SQLHENV environment, const std::string& connect) {
    const std::string driver = platform::ConnectValue(connect.c_str(), "DRIVER");
    if (!driver.empty()) return ProfileNaming(driver);
    const std::string dsn = platform::ConnectValue(connect.c_str(), "DSN");
    if (dsn.empty() || environment == nullptr) return GenericProfile();
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[256];
    SQLSMALLINT nameLength = 0, descriptionLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
         SQL_SUCCEEDED(SQLDataSources(environment, direction, name, sizeof name, &nameLength, description,
                                      sizeof description, &descriptionLength));
         direction = SQL_FETCH_NEXT) {
        if (dsn == reinterpret_cast<char*>(name)) return ProfileNaming(reinterpret_cast<char*>(description));
    }
    return ProfileNaming(platform::DataSourceSetting(dsn, "DRIVER"));
}

const DriverProfile& ProfileForConnection(const std::string& dbmsName, const std::string& driverFile) {
    for (const DriverProfile* profile : DriverProfiles()) {
        if (profile->ServesConnection(dbmsName, driverFile)) return *profile;
    }
    return GenericProfile();
}

}  // namespace vordex
