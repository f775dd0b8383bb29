#pragma once

#include <string>
#include <vector>

#include "vordex_api.h"

namespace vordex::cli::testing_support {

/// A data source of one table, served through the library's call surface so
/// the commands can run without a driver. One per test: reset in the fixture.
struct FakeDataSource {
    std::vector<std::string> tables;
    std::string tableName;  // the table VORDEX_Open opens; also by `otherNames`
    std::vector<std::string> otherNames;
    std::vector<std::string> columns;  // may hold more than the 32 readable ones
    std::vector<std::vector<std::string>> rows;

    // Faults to play. Failures show the library's messages on standard error,
    // in the language (VORDEX_MESSAGES) and code page (VORDEX_CODEPAGE) asked.
    bool choiceCancelled = false;      // an empty table list then shows nothing
    std::vector<size_t> longValueRows;  // a move onto one fails as on a value over 255 bytes
    bool openRecFails = false;
    bool listTextDoesNotFit = false;  // VORDEX_ListText answers with the buffer size
    int moveNextFailsAtRow = -1;
    bool updatable = true;
    bool updateFails = false;
    size_t cutTo = 255;  // VORDEX_Update keeps this many bytes of a value

    // What the command did.
    bool recordOpen = false;
    bool connected = false;
    size_t currentRow = 0;
    int listTextCalls = 0;
    int getDataCalls = 0;
    int updateCalls = 0;
};

/// The one data source the fake functions serve.
FakeDataSource& Fake();

/// The library's functions, working on Fake().
VordexApi FakeApi();

}  // namespace vordex::cli::testing_support
