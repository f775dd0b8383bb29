#pragma once

#include <string_view>

namespace vordex::cli {

/// Whether `stored`, the value the library reads back after set wrote
/// `given`, means what `given` means. The library tells no column types, so
/// the two texts decide, read as the first of these kinds that both are:
///   the same text, or `given` followed by blanks (a CHAR column's padding);
///   numbers: [+-]digits[.digits][e[+-]digits], equal in value (5 and 5.0,
///     1e3 and 1000, 007 and 7);
///   truth values: true t yes y on 1 / false f no n off 0, any case;
///   dates and times: yyyy-mm-dd[ hh:mm:ss[.fffffffff]] (a date alone is its
///     midnight) or hh:mm:ss[.fffffffff], the same day and time of day.
/// Anything else differs: a text cut short, a number or time rounded.
bool StoredAsGiven(std::string_view given, std::string_view stored);

}  // namespace vordex::cli
