#include "api/library_state.h"

#include "api/library_call.h"
#include "db/exception.h"
#include "db/odbc_environment.h"
#include "platform/code_page.h"
#include "platform/process_end.h"
#include "platform/server_watch.h"

namespace vordex::api {

std::unique_ptr<CDatabase> activeDatabase;
std::unique_ptr<CMyRec> activeRecord;
CText tableNames[kListLimit];
ListedTable listedTables[kListLimit];
int32_t tableCount = 0;
CText catalogQualifier;
CText catalogOwner;
CText listedConnect;
CText activeTable;
CText activeOwner;
CText fieldNames[kListLimit];
int32_t fieldLengths[kListLimit] = {};
int32_t fieldSizes[kListLimit] = {};
int32_t fieldTypes[kListLimit] = {};
CText fieldTypeNames[kListLimit];
int32_t fieldListCount = 0;
bool fieldListNamesUnsafe = false;

const char kEmptyText[] = "";

unsigned ServerSilenceLimit() {
    constexpr int32_t kDriverRoundTrips = 5;
    const int32_t timeout = activeDatabase && activeDatabase->QueryTimeout > 0 ? activeDatabase->QueryTimeout : 15;
    return static_cast<unsigned>(timeout + kDriverRoundTrips);
}

CDatabase* ActiveConnection() {
    if (activeRecord && activeRecord->Database != nullptr) return activeRecord->Database;
    return activeDatabase.get();
}

void CloseActiveRecord() noexcept {
    if (!activeRecord) return;
    const platform::ServerWatch watch(ServerSilenceLimit());
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
    const platform::ServerWatch watch(ServerSilenceLimit());
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
        // Made first, so that they are destroyed after the unload hook.
        DatabaseLock();
        TheOdbcEnvironment();
        platform::ServerWatch::Initialize();
        platform::PrepareConversions();
        activeDatabase.reset();
        activeRecord.reset();
    }
    ~ProcessHooks() {
        // The variables below are destroyed after this: no call may use
        // them any more, not even one another thread of the host makes.
        LibraryCall::KeepTurnForGood();
        if (platform::ProcessIsEnding()) return;
        CloseActiveDatabase();
        platform::ServerWatch::Stop();
    }
};

ProcessHooks processHooks;

}  // namespace
}  // namespace vordex::api
