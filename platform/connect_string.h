#pragma once

#include <string>

namespace vordex::platform {

/// True when the connect string names a data source: a non-empty DSN, DRIVER
/// or FILEDSN value (keywords compared without regard to case).
bool NamesDataSource(const char* connect);

/// The connect string without DSN, DRIVER and FILEDSN items whose value is
/// empty. unixODBC takes an empty DSN as a wildcard and would silently load
/// the driver of the first data source it knows. A string with no such item
/// is returned unchanged.
std::string WithoutEmptyDataSource(const char* connect);

/// The value of the first item whose key is `keyUpper` (given in capitals;
/// keys compare without regard to case); empty when there is none.
std::string ConnectValue(const char* connect, const char* keyUpper);

/// `value` as a driver reads it: one pair of enclosing braces removed, and
/// within them a doubled "}" made one ("{127.0.0.1}" is 127.0.0.1).
std::string UnbracedValue(const std::string& value);

/// The number `text` writes in at most nine decimal digits, or -1 when it
/// is anything else (a port, a time-out in a connect string).
long DecimalValue(const std::string& text);

/// The chosen data source's connect string followed by the remaining items of
/// the caller's string (the chosen items come first and so take precedence).
std::string MergeConnectStrings(const std::string& chosen, const std::string& rest);

}  // namespace vordex::platform
