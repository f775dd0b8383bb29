#include "platform/connect_string.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace vordex::platform {
namespace {

struct Item {
    std::string text;  // the whole "key=value" item as written
    std::string keyUpper;
    std::string value;
};

// Splits at ";" outside braces: ODBC lets a value in {} hold semicolons.
std::vector<Item> SplitItems(const char* connect) {
    std::vector<Item> items;
    if (connect == nullptr) return items;
    std::string current;
    int depth = 0;
    auto finish = [&] {
        Item item;
        item.text = current;
        size_t equals = current.find('=');
        std::string key = current.substr(0, equals);
        for (char c : key) {
            if (c != ' ') item.keyUpper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        item.value = equals == std::string::npos ? std::string() : current.substr(equals + 1);
        if (!current.empty()) items.push_back(item);
        current.clear();
    };
    for (const char* p = connect; *p != '\0'; ++p) {
        if (*p == '{') ++depth;
        if (*p == '}' && depth > 0) --depth;
        if (*p == ';' && depth == 0) {
            finish();
        } else {
            current += *p;
        }
    }
    finish();
    return items;
}

bool IsDataSourceKey(const std::string& keyUpper) {
    return keyUpper == "DSN" || keyUpper == "DRIVER" || keyUpper == "FILEDSN";
}

bool IsBlank(const std::string& value) { return value.find_first_not_of(" {}") == std::string::npos; }

}  // namespace

bool NamesDataSource(const char* connect) {
    for (const Item& item : SplitItems(connect)) {
        if (IsDataSourceKey(item.keyUpper) && !IsBlank(item.value)) return true;
    }
    return false;
}

std::string WithoutEmptyDataSource(const char* connect) {
    std::string result;
    bool removed = false;
    for (const Item& item : SplitItems(connect)) {
        if (IsDataSourceKey(item.keyUpper) && IsBlank(item.value)) {
            removed = true;
            continue;
        }
        if (!result.empty()) result += ';';
        result += item.text;
    }
    // Anything else reaches the driver manager byte for byte.
    return removed ? result : std::string(connect != nullptr ? connect : "");
}

std::string ConnectValue(const char* connect, const char* keyUpper) {
    for (const Item& item : SplitItems(connect)) {
        if (item.keyUpper == keyUpper) return item.value;
    }
    return std::string();
}

std::string UnbracedValue(const std::string& value) {
    if (value.size() < 2 || value.front() != '{' || value.back() != '}') return value;
    std::string inner;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        inner += value[i];
        if (value[i] == '}' && value[i + 1] == '}' && i + 2 < value.size()) ++i;
    }
    return inner;
}

long DecimalValue(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::strtol(text.c_str(), nullptr, 10);
}

std::string MergeConnectStrings(const std::string& chosen, const std::string& rest) {
    if (rest.empty()) return chosen;
    if (chosen.empty()) return rest;
    return chosen + ";" + rest;
}

}  // namespace vordex::platform
