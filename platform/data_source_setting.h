#pragma once

#include <string>

namespace vordex::platform {

/// The value of `key` in the settings of the data source named `dsn`, as the
/// driver manager keeps them (odbc.ini, or the registry on Windows); empty
/// when the data source or the key is not there.
std::string DataSourceSetting(const std::string& dsn, const char* key);

/// The value of `keyUpper` (in capitals) in the connect string, or else in the
/// settings of its DSN: where the driver reads it from. As written: a value
/// in braces keeps them (UnbracedValue reads it).
std::string ConnectOrDataSourceValue(const char* connect, const char* keyUpper);

}  // namespace vordex::platform
