#include "api/library_call.h"

#include <chrono>
#include <thread>

namespace vordex::api {

std::atomic<bool> LibraryCall::busy_{false};

void LibraryCall::WaitForTurn() {
    // The other call may wait on its server for seconds: after a short spin,
    // sleep rather than burn a processor.
    for (int tries = 0; busy_.exchange(true, std::memory_order_acquire); ++tries) {
        if (tries < 64) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
}

}  // namespace vordex::api
