#pragma once

#include "api/library_state.h"
#include "api/show_message.h"
#include "db/db_exception.h"
#include "platform/server_watch.h"

namespace vordex::api {

/// Deletes a caught exception when the guarded block ends.
class CaughtException {
public:
    explicit CaughtException(CException* e) : e_(e) {}
    CaughtException(const CaughtException&) = delete;
    CaughtException& operator=(const CaughtException&) = delete;
    ~CaughtException() { e_->Delete(); }

private:
    CException* e_;
};

/// Shows why an exported call failed: `e`'s texts (null: the fixed text),
/// except where the connection was lost before the call (`lostBefore`:
/// every later call says so) or cut by the server watch during it (which
/// says how long the server was silent). Never throws.
void ShowCallFailure(const CDBException* e, bool lostBefore) noexcept;

/// The guarded block of an exported call. Runs `body` under the server watch;
/// when it throws, shows the failure (see ShowCallFailure), runs `cleanup`
/// and returns `failure`. Nothing escapes: a C host cannot catch.
template <class Result, class Body, class Cleanup>
Result GuardedCall(Result failure, Body&& body, Cleanup&& cleanup) noexcept {
    try {
        const CDatabase* connection = ActiveConnection();
        const bool lostBefore = connection != nullptr && connection->ConnectionLost();
        try {
            // No wait on a silent server outlasts the limit (the message
            // below is shown after the watch has ended).
            const platform::ServerWatch watch(ServerSilenceLimit());
            return body();
        } catch (CDBException* e) {
            CaughtException caught(e);
            ShowCallFailure(e, lostBefore);
            cleanup();
        } catch (CException* e) {
            CaughtException caught(e);
            ShowCallFailure(nullptr, lostBefore);
            cleanup();
        } catch (...) {
            ShowCallFailure(nullptr, lostBefore);
            cleanup();
        }
    } catch (CException* e) {
        e->Delete();  // the clean-up failed as well; the failure has been shown
    } catch (...) {
    }
    return failure;
}

template <class Result, class Body>
Result GuardedCall(Result failure, Body&& body) noexcept {
    return GuardedCall(failure, static_cast<Body&&>(body), [] {});
}

}  // namespace vordex::api
