#pragma once

#include <atomic>

namespace vordex::api {

/// Held for the whole of every exported call (but VORDEX_GetVersion, which
/// touches nothing). The calls are for one caller at a time; a host that
/// calls from two threads at once waits here instead of corrupting memory.
///
/// A flag taken with one atomic exchange, not a mutex: the calls that read a
/// row (VORDEX_MoveNext, VORDEX_GetData, VORDEX_ListText) run once per row
/// and field, and the library's own use never contends. A caller that does
/// contend spins briefly, then sleeps between tries.
class LibraryCall {
public:
    LibraryCall() {
        if (busy_.exchange(true, std::memory_order_acquire)) WaitForTurn();
    }
    ~LibraryCall() { busy_.store(false, std::memory_order_release); }
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;

    /// Takes the turn and keeps it: the library is unloading (dlclose, or
    /// exit() with other threads still calling), and its variables are
    /// destroyed next. A call made after this waits until the process ends.
    static void KeepTurnForGood() {
        if (busy_.exchange(true, std::memory_order_acquire)) WaitForTurn();
    }

private:
    static void WaitForTurn();

    static std::atomic<bool> busy_;
};

}  // namespace vordex::api
