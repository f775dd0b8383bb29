#include "db/db_exception.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "db/database.h"
#include "db/library_messages.h"
#include "db/odbc_environment.h"

namespace vordex {

VORDEX_IMPLEMENT_RUNTIME_CLASS(CDBException, CException)

void CDBException::BuildErrorText(CDatabase* connection, SQLHSTMT statement) {
    if (connection == nullptr) return;

    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR message[512];
    SQLSMALLINT messageLength = 0;
    SQLHENV environment = CurrentEnvironmentHandle();

    for (;;) {
        state[0] = '\0';
        message[0] = '\0';
        SQLRETURN rc = SQLError(environment, connection->ConnectionHandle, statement, state, &native,
                                message, sizeof message - 1, &messageLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        state[5] = '\0';
        if (std::strcmp(reinterpret_cast<char*>(state), "00000") == 0) break;
        message[sizeof message - 1] = '\0';

        char nativeText[48];
        std::snprintf(nativeText, sizeof nativeText, ",Native:%ld,Origin:", static_cast<long>(native));
        StateText.Append("State:");
        StateText.Append(reinterpret_cast<char*>(state));
        StateText.Append(nativeText);

        // Split off the bracketed vendor and component prefixes: they are the origin.
        const char* rest = reinterpret_cast<char*>(message);
        while (*rest == '[') {
            const char* close = std::strchr(rest, ']');
            if (close == nullptr) break;
            StateText.Append(rest, static_cast<size_t>(close - rest) + 1);
            rest = close + 1;
            if (*rest == ' ') ++rest;
        }
        StateText.Append('\n');
        // The server's own words, which may quote a name or a value.
        ErrorText.Append(connection->CodePages.ToHost(rest));
        ErrorText.Append('\n');
    }
}

bool CDBException::HasState(const char* sqlState) const {
    char needle[12] = "State:";
    std::strncat(needle, sqlState, 5);
    return std::strstr(StateText.c_str(), needle) != nullptr;
}

void ThrowDBError(SQLRETURN code, CDatabase* connection, SQLHSTMT statement) {
    auto* e = new CDBException(code);
    try {
        if (code == SQL_ERROR && connection != nullptr) {
            e->BuildErrorText(connection, statement);
        } else if (IsLibraryErrorCode(code)) {
            LoadLibraryMessage(static_cast<unsigned>(code) + LibraryErrorMessageBase, e->ErrorText);
            // A text that wants a number nobody gave (a driver's "more than
            // one row") is no text: the fixed one is shown.
            if (std::strstr(e->ErrorText.c_str(), "%d") != nullptr) e->ErrorText.Clear();
        }
    } catch (...) {
        delete e;
        throw;
    }
    throw e;
}

namespace {

/// Throws the failure `code` whose text is the library's message `id`, its
/// "%d" (ASCII, never the trail byte of a CP932 character) replaced by `number`.
[[noreturn]] void ThrowMessage(SQLRETURN code, unsigned id, const char* number = nullptr) {
    auto* e = new CDBException(code);
    try {
        CText text;
        LoadLibraryMessage(id, text);
        const char* mark = number != nullptr ? std::strstr(text.c_str(), "%d") : nullptr;
        if (mark != nullptr) {
            e->ErrorText.Assign(text.c_str(), static_cast<size_t>(mark - text.c_str()));
            e->ErrorText.Append(number);
            e->ErrorText.Append(mark + 2);
        } else {
            e->ErrorText = text;
        }
    } catch (...) {
        delete e;
        throw;
    }
    throw e;
}

}  // namespace

void ThrowLibraryMessage(unsigned id) { ThrowMessage(SQL_ERROR, id); }

void ThrowLibraryMessage(unsigned id, unsigned number) { ThrowMessage(SQL_ERROR, id, std::to_string(number).c_str()); }

void ThrowTooManyRowsChanged(SQLLEN count) {
    ThrowMessage(ErrorTooManyRowsChanged, static_cast<unsigned>(ErrorTooManyRowsChanged) + LibraryErrorMessageBase,
                 std::to_string(static_cast<long long>(count)).c_str());
}

}  // namespace vordex
