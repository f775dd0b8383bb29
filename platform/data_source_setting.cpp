// A data source's own settings, read through the driver manager's installer.
#include "platform/data_source_setting.h"

#include "platform/odbc_headers.h"

#include <odbcinst.h>

#include "platform/connect_string.h"

namespace vordex::platform {

std::string DataSourceSetting(const std::string& dsn, const char* key) {
    if (dsn.empty()) return std::string();
    char value[1024] = "";
    const int length = SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "odbc.ini");
    return length > 0 ? std::string(value) : std::string();
}

std::string ConnectOrDataSourceValue(const char* connect, const char* keyUpper) {
    std::string value = ConnectValue(connect, keyUpper);
    if (value.empty()) value = DataSourceSetting(UnbracedValue(ConnectValue(connect, "DSN")), keyUpper);
    return value;
}

}  // namespace vordex::platform
