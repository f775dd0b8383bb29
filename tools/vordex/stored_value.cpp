// How set tells a value stored as given from one stored otherwise.
#include "stored_value.h"

#include <optional>
#include <string>

namespace vordex::cli {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t SkipDigits(std::string_view text, size_t at) {
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at;
}

/// A decimal number as sign, significant digits and the power of ten of
/// the digit after the last: 1.50 and 15e-1 are both {false, "15", -1}.
struct Decimal {
    bool negative = false;
    std::string digits;  // no leading or trailing zeros; empty for zero
    long exponent = 0;
    bool operator==(const Decimal& other) const {
        return negative == other.negative && digits == other.digits && exponent == other.exponent;
    }
};

std::optional<Decimal> ParseDecimal(std::string_view text) {
    Decimal number;
    size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) number.negative = text[at++] == '-';
    const size_t whole = at;
    at = SkipDigits(text, at);
    std::string mantissa(text.substr(whole, at - whole));
    long fractionDigits = 0;
    if (at < text.size() && text[at] == '.') {
        const size_t fraction = ++at;
        at = SkipDigits(text, at);
        mantissa += text.substr(fraction, at - fraction);
        fractionDigits = static_cast<long>(at - fraction);
    }
    if (mantissa.empty()) return std::nullopt;
    long exponent = 0;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        const bool negativeExponent = at < text.size() && text[at] == '-';
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        const size_t digits = at;
        at = SkipDigits(text, at);
        // Six digits are more than any data source's range.
        if (at == digits || at - digits > 6) return std::nullopt;
        exponent = std::stol(std::string(text.substr(digits, at - digits)));
        if (negativeExponent) exponent = -exponent;
    }
    if (at != text.size()) return std::nullopt;
    const size_t first = mantissa.find_first_not_of('0');
    if (first == std::string::npos) return Decimal{};  // zero, of either sign
    const size_t last = mantissa.find_last_not_of('0');
    number.digits = mantissa.substr(first, last + 1 - first);
    number.exponent = exponent - fractionDigits + static_cast<long>(mantissa.size() - 1 - last);
    return number;
}

std::optional<bool> ParseTruth(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (const char* word : {"true", "t", "yes", "y", "on", "1"}) {
        if (lower == word) return true;
    }
    for (const char* word : {"false", "f", "no", "n", "off", "0"}) {
        if (lower == word) return false;
    }
    return std::nullopt;
}

/// Whether `text` from `at` is `pattern`, where 9 stands for a digit.
bool Shaped(std::string_view text, size_t at, std::string_view pattern) {
    if (text.size() - at < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = text[at + i];
        if (pattern[i] == '9' ? !IsDigit(c) : c != pattern[i]) return false;
    }
    return true;
}

/// A date, a time or both, as one comparable text: "D yyyy-mm-dd hh:mm:ss"
/// or "T hh:mm:ss", then the fraction of a second to nine digits.
std::optional<std::string> ParseMoment(std::string_view text) {
    std::string moment;
    size_t at = 0;
    if (Shaped(text, 0, "9999-99-99")) {
        moment = "D " + std::string(text.substr(0, 10));
        at = 10;
        if (at == text.size()) return moment + " 00:00:00.000000000";
        if (text[at] != ' ') return std::nullopt;
        moment += text[at++];
    } else {
        moment = "T ";
    }
    if (!Shaped(text, at, "99:99:99")) return std::nullopt;
    moment += text.substr(at, 8);
    at += 8;
    std::string fraction;
    if (at < text.size() && text[at] == '.') {
        const size_t start = ++at;
        at = SkipDigits(text, at);
        fraction = text.substr(start, at - start);
        if (fraction.empty() || fraction.size() > 9) return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    fraction.resize(9, '0');
    return moment + "." + fraction;
}

/// Whether the texts mean the same as values of one kind; nothing when
/// they are not both of that kind.
template <class Parse>
std::optional<bool> SameValue(Parse parse, std::string_view given, std::string_view stored) {
    const auto a = parse(given);
    const auto b = parse(stored);
    if (!a || !b) return std::nullopt;
    return *a == *b;
}

}  // namespace

bool StoredAsGiven(std::string_view given, std::string_view stored) {
    if (stored.substr(0, given.size()) == given &&
        stored.find_first_not_of(' ', given.size()) == std::string_view::npos) {
        return true;
    }
    if (const std::optional<bool> same = SameValue(ParseDecimal, given, stored)) return *same;
    if (const std::optional<bool> same = SameValue(ParseTruth, given, stored)) return *same;
    return SameValue(ParseMoment, given, stored).value_or(false);
}

}  // namespace vordex::cli
