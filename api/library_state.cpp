#include "api/library_state.h"

#include "db/exception.h"

namespace vordex::api {

std::unique_ptr<CDatabase> activeDatabase;
std::unique_ptr<CMyRec> activeRecord;
CText tableNames[kListLimit];
ListedTable listedTables[kListLimit];
int32_t tableCount = 0;
CText catalogQualifier;
CText catalogOwner;
CText activeTable;
CText activeOwner;
CText fieldNames[kListLimit];
int32_t fieldLengths[kListLimit] = {};
int32_t fieldTypes[kListLimit] = {};
int32_t fieldListCount = 0;
bool fieldListNamesUnsafe = false;

const char kEmptyText[] = "";

void CloseActiveRecord() noexcept {
    if (!activeRecord) return;
    try {
        if (activeRecord->IsOpen()) activeRecord->Close();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    activeRecord.reset();  // the destructor never throws
}

void CloseConnection() noexcept {
    if (!activeDatabase) return;
    try {
        if (activeDatabase->IsConnected()) activeDatabase->Close();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

void CloseActiveDatabase() noexcept {
    // A record opened without a connection object holds a connection of its
    // own; it is closed here too, so that nothing stays connected.
    CloseActiveRecord();
    if (!activeDatabase) return;
    CloseConnection();
    activeDatabase.reset();
}

namespace {

// The library's load and unload. Defined after the variables above, so they
// are constructed before the load hook runs and destroyed after the unload
// hook has run.
struct ProcessHooks {
    ProcessHooks() {
        activeDatabase.reset();
        activeRecord.reset();
    }
    ~ProcessHooks() { CloseActiveDatabase(); }
};

ProcessHooks processHooks;

}  // namespace
}  // namespace vordex::api
