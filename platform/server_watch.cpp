#include "platform/server_watch.h"

#include <dirent.h>
#include <pthread.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace vordex::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr long kLookEveryNs = 500'000'000;

// Plain pthread objects with static initializers: nothing to destroy at exit,
// where a condition variable that a thread of the parent process waited on
// before a fork would block its destruction in the child for ever.
struct WatchState {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
    pthread_t thread{};
    bool running = false;
    bool stopping = false;
    int depth = 0;   // ServerWatch objects alive
    int paused = 0;  // ServerWatchPause objects alive
    std::chrono::seconds allowed{0};
    Clock::time_point armedAt;
    bool cut = false;  // the sockets were shut down during this watch
    std::vector<SocketId> sockets;
};

WatchState& State() {
    static WatchState state;
    return state;
}

class StateLock {
public:
    StateLock() { pthread_mutex_lock(&State().mutex); }
    ~StateLock() { pthread_mutex_unlock(&State().mutex); }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
};

/// A child of fork() has no watching thread: it starts its own when needed.
void AfterForkInChild() {
    WatchState& s = State();
    s.mutex = PTHREAD_MUTEX_INITIALIZER;
    s.wake = PTHREAD_COND_INITIALIZER;
    s.running = false;
    s.stopping = false;
}

/// Milliseconds since the socket last received data; false when the kernel
/// cannot tell (not a TCP socket).
bool SilentFor(int descriptor, uint32_t& milliseconds) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(descriptor, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
    milliseconds = info.tcpi_last_data_recv;
    return true;
}

/// True when every watched socket has been silent for the allowed time and
/// the watch has been armed (and not paused) that long.
bool ServerSilent(const WatchState& s, Clock::time_point now) {
    if (s.sockets.empty() || now - s.armedAt < s.allowed) return false;
    const auto allowedMs = static_cast<uint32_t>(std::chrono::milliseconds(s.allowed).count());
    for (const SocketId& socket : s.sockets) {
        uint32_t silentMs = 0;
        if (SilentFor(socket.descriptor, silentMs) && silentMs < allowedMs) return false;
    }
    return true;
}

void WaitAWhile(WatchState& s) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += kLookEveryNs;
    if (until.tv_nsec >= 1'000'000'000) {
        until.tv_nsec -= 1'000'000'000;
        ++until.tv_sec;
    }
    pthread_cond_timedwait(&s.wake, &s.mutex, &until);
}

void* Run(void*) {
    WatchState& s = State();
    const StateLock lock;
    while (!s.stopping) {
        if (s.depth == 0 || s.paused > 0 || s.cut) {
            pthread_cond_wait(&s.wake, &s.mutex);
            continue;
        }
        WaitAWhile(s);
        if (s.stopping || s.depth == 0 || s.paused > 0 || s.cut) continue;
        if (!ServerSilent(s, Clock::now())) continue;
        // The waiting driver call sees its connection closed and fails. The
        // lock is held, so no socket is forgotten (and closed) meanwhile.
        for (const SocketId& socket : s.sockets) shutdown(socket.descriptor, SHUT_RDWR);
        s.cut = true;
    }
    return nullptr;
}

}  // namespace

std::vector<SocketId> ProcessSockets() {
    std::vector<SocketId> sockets;
    DIR* directory = opendir("/proc/self/fd");
    if (directory == nullptr) return sockets;
    const int own = dirfd(directory);
    while (const dirent* entry = readdir(directory)) {
        char* end = nullptr;
        const long descriptor = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || descriptor == own) continue;
        struct stat status{};
        if (fstat(static_cast<int>(descriptor), &status) == 0 && S_ISSOCK(status.st_mode)) {
            sockets.push_back({static_cast<int>(descriptor), static_cast<unsigned long>(status.st_ino)});
        }
    }
    closedir(directory);
    return sockets;
}

std::vector<SocketId> NewSockets(const std::vector<SocketId>& before, const std::vector<SocketId>& after) {
    std::vector<SocketId> added;
    for (const SocketId& socket : after) {
        if (std::find(before.begin(), before.end(), socket) == before.end()) added.push_back(socket);
    }
    return added;
}

ServerWatch::ServerWatch(unsigned seconds) {
    WatchState& s = State();
    const StateLock lock;
    if (s.depth++ > 0) return;
    s.allowed = std::chrono::seconds(seconds);
    s.armedAt = Clock::now();
    s.cut = false;
    // Without its thread the watch only fails to cut: the call waits as before.
    if (!s.running) s.running = pthread_create(&s.thread, nullptr, Run, nullptr) == 0;
    pthread_cond_broadcast(&s.wake);
}

ServerWatch::~ServerWatch() {
    const StateLock lock;
    --State().depth;
}

void ServerWatch::Watch(const std::vector<SocketId>& sockets) {
    WatchState& s = State();
    const StateLock lock;
    s.sockets.insert(s.sockets.end(), sockets.begin(), sockets.end());
}

void ServerWatch::Forget(const std::vector<SocketId>& sockets) {
    WatchState& s = State();
    const StateLock lock;
    for (const SocketId& socket : sockets) {
        s.sockets.erase(std::remove(s.sockets.begin(), s.sockets.end(), socket), s.sockets.end());
    }
}

void ServerWatch::Initialize() {
    State();
    pthread_atfork(nullptr, nullptr, AfterForkInChild);
}

void ServerWatch::Stop() {
    WatchState& s = State();
    bool running;
    {
        const StateLock lock;
        running = s.running;
        s.stopping = true;
        pthread_cond_broadcast(&s.wake);
    }
    if (running) pthread_join(s.thread, nullptr);
    const StateLock lock;
    s.running = false;
    s.stopping = false;
}

ServerWatchPause::ServerWatchPause() {
    const StateLock lock;
    ++State().paused;
}

ServerWatchPause::~ServerWatchPause() {
    WatchState& s = State();
    const StateLock lock;
    if (--s.paused == 0) s.armedAt = Clock::now();  // the allowed time starts again
    pthread_cond_broadcast(&s.wake);
}

}  // namespace vordex::platform
