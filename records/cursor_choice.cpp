#include "records/cursor_choice.h"

#include <cctype>

namespace vordex {

bool IsPsqlOdbc(const CDatabase& database) {
    const char* name = database.DriverName.c_str();
    for (const char* prefix = "psqlodbc"; *prefix != '\0'; ++prefix, ++name) {
        if (std::tolower(static_cast<unsigned char>(*name)) != *prefix) return false;
    }
    return true;
}

}  // namespace vordex
