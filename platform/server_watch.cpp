#include "platform/server_watch.h"

#include <dirent.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace vordex::platform {
namespace {

constexpr unsigned kTickMs = 500;

// Plain pthread objects with static initializers: nothing to destroy at exit,
// where a condition variable that a thread of the parent process waited on
// before a fork would block its destruction in the child for ever.
//
// Arming and disarming run for every row a host reads, so they only touch
// atomics; the watching thread measures the time itself, in ticks, and takes
// a call to be the same call for as long as `generation` stays unchanged.
struct Calls {
    std::atomic<int> depth{0};   // ServerWatch objects alive
    std::atomic<int> paused{0};  // ServerWatchPause objects alive
    std::atomic<unsigned> allowedSeconds{0};
    std::atomic<unsigned long> generation{0};  // a new call, or the end of a pause
    std::atomic<bool> started{false};          // the watching thread runs
};
// Constant-initialized, with nothing to destroy: usable at any time.
Calls calls;

struct WatchState {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;  // guards the rest
    pthread_cond_t wake = PTHREAD_COND_INITIALIZER;
    pthread_t thread{};
    bool stopping = false;
    std::vector<SocketId> sockets;
    std::vector<SocketId> cut;  // shut down by the watch, until forgotten
    unsigned cutAfterSeconds = 0;
    std::function<std::vector<SocketId>()> findLogin;  // while a connection is made
    unsigned loginCutAfterSeconds = 0;
};

// Made by the library's load hook (ServerWatch::Initialize), so destroyed
// after its unload hook, which lets no call run any more.
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
    calls.started = false;
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

/// True when none of `sockets` has received data for the allowed time.
bool SocketsSilent(const std::vector<SocketId>& sockets, uint32_t allowedMs) {
    for (const SocketId& socket : sockets) {
        uint32_t silentMs = 0;
        if (SilentFor(socket.descriptor, silentMs) && silentMs < allowedMs) return false;
    }
    return true;
}

void WaitOneTick(WatchState& s) {
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_nsec += kTickMs * 1'000'000L;
    if (until.tv_nsec >= 1'000'000'000L) {
        until.tv_nsec -= 1'000'000'000L;
        ++until.tv_sec;
    }
    pthread_cond_timedwait(&s.wake, &s.mutex, &until);
}

void* Run(void*) {
    WatchState& s = State();
    const StateLock lock;
    unsigned long seen = 0;  // the generation of the call being timed
    unsigned silentTicks = 0;
    bool cut = false;
    while (!s.stopping) {
        if (s.sockets.empty() && !s.findLogin) {  // no connection: nothing to time
            pthread_cond_wait(&s.wake, &s.mutex);
            continue;
        }
        WaitOneTick(s);
        const unsigned long generation = calls.generation.load(std::memory_order_acquire);
        const bool waiting = calls.depth.load(std::memory_order_acquire) > 0 && calls.paused.load() == 0;
        if (!waiting || generation != seen) {
            seen = generation;
            silentTicks = 0;
            cut = false;
            continue;
        }
        const uint32_t allowedMs = calls.allowedSeconds.load() * 1000;
        if (cut || ++silentTicks * kTickMs < allowedMs) continue;
        // While a connection is made, its login's sockets alone are timed.
        const std::vector<SocketId> timed = s.findLogin ? s.findLogin() : s.sockets;
        if (timed.empty() || !SocketsSilent(timed, allowedMs)) continue;
        // The waiting driver call sees its connection closed and fails. The
        // lock is held, so no socket is forgotten (and closed) meanwhile.
        for (const SocketId& socket : timed) shutdown(socket.descriptor, SHUT_RDWR);
        if (s.findLogin) {
            s.loginCutAfterSeconds = calls.allowedSeconds.load();
        } else {
            s.cut.insert(s.cut.end(), timed.begin(), timed.end());
            s.cutAfterSeconds = calls.allowedSeconds.load();
        }
        cut = true;
    }
    return nullptr;
}

void StartThread() {
    WatchState& s = State();
    const StateLock lock;
    if (calls.started) return;
    // Without its thread the watch only fails to cut: a call waits as before.
    calls.started = pthread_create(&s.thread, nullptr, Run, nullptr) == 0;
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

std::vector<SocketId> SocketsOnLocalPort(const std::vector<SocketId>& sockets, int port) {
    std::vector<SocketId> bound;
    for (const SocketId& socket : sockets) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getsockname(socket.descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) continue;
        int local = -1;
        if (address.ss_family == AF_INET) local = ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
        if (address.ss_family == AF_INET6) local = ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
        if (local == port) bound.push_back(socket);
    }
    return bound;
}

namespace {

bool SameAddress(const sockaddr_storage& a, const sockaddr* b) {
    if (a.ss_family != b->sa_family) return false;
    if (a.ss_family == AF_INET) {
        const auto& x = reinterpret_cast<const sockaddr_in&>(a);
        const auto* y = reinterpret_cast<const sockaddr_in*>(b);
        return x.sin_port == y->sin_port && x.sin_addr.s_addr == y->sin_addr.s_addr;
    }
    if (a.ss_family == AF_INET6) {
        const auto& x = reinterpret_cast<const sockaddr_in6&>(a);
        const auto* y = reinterpret_cast<const sockaddr_in6*>(b);
        return x.sin6_port == y->sin6_port && std::memcmp(&x.sin6_addr, &y->sin6_addr, sizeof x.sin6_addr) == 0;
    }
    return false;
}

}  // namespace

std::vector<SocketId> SocketsToPeer(const std::vector<SocketId>& sockets, const char* host, int port) {
    std::vector<SocketId> connected;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* addresses = nullptr;
    const std::string service = std::to_string(port);
    if (host == nullptr || *host == '\0' || getaddrinfo(host, service.c_str(), &hints, &addresses) != 0) {
        return connected;
    }
    for (const SocketId& socket : sockets) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (getpeername(socket.descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
        for (const addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
            if (SameAddress(peer, a->ai_addr)) {
                connected.push_back(socket);
                break;
            }
        }
    }
    freeaddrinfo(addresses);
    return connected;
}

std::vector<SocketId> SocketsToLocalPeer(const std::vector<SocketId>& sockets, const std::string& path) {
    std::vector<SocketId> connected;
    if (path.empty()) return connected;
    const bool anyDirectory = path.find('/') == std::string::npos;
    for (const SocketId& socket : sockets) {
        sockaddr_un peer{};
        socklen_t length = sizeof peer;
        if (getpeername(socket.descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
            peer.sun_family != AF_UNIX || length <= offsetof(sockaddr_un, sun_path)) {
            continue;
        }
        const std::string peerPath(peer.sun_path, strnlen(peer.sun_path, length - offsetof(sockaddr_un, sun_path)));
        const size_t slash = peerPath.rfind('/');
        const std::string name = slash == std::string::npos ? peerPath : peerPath.substr(slash + 1);
        if (peerPath == path || (anyDirectory && name == path)) connected.push_back(socket);
    }
    return connected;
}

ServerWatch::ServerWatch(unsigned seconds) {
    if (calls.depth.fetch_add(1, std::memory_order_acq_rel) > 0) return;
    calls.allowedSeconds.store(seconds, std::memory_order_relaxed);
    calls.generation.fetch_add(1, std::memory_order_release);
    if (!calls.started.load(std::memory_order_acquire)) StartThread();
}

ServerWatch::~ServerWatch() { calls.depth.fetch_sub(1, std::memory_order_release); }

void ServerWatch::Watch(const std::vector<SocketId>& sockets) {
    WatchState& s = State();
    const StateLock lock;
    s.sockets.insert(s.sockets.end(), sockets.begin(), sockets.end());
    pthread_cond_broadcast(&s.wake);
}

void ServerWatch::Forget(const std::vector<SocketId>& sockets) {
    WatchState& s = State();
    const StateLock lock;
    for (const SocketId& socket : sockets) {
        s.sockets.erase(std::remove(s.sockets.begin(), s.sockets.end(), socket), s.sockets.end());
        s.cut.erase(std::remove(s.cut.begin(), s.cut.end(), socket), s.cut.end());
    }
}

unsigned ServerWatch::CutAfter(const std::vector<SocketId>& sockets) {
    WatchState& s = State();
    const StateLock lock;
    for (const SocketId& socket : sockets) {
        if (std::find(s.cut.begin(), s.cut.end(), socket) != s.cut.end()) return s.cutAfterSeconds;
    }
    return 0;
}

void ServerWatch::Initialize() {
    State();
    pthread_atfork(nullptr, nullptr, AfterForkInChild);
}

void ServerWatch::Stop() {
    WatchState& s = State();
    {
        const StateLock lock;
        s.stopping = true;
        pthread_cond_broadcast(&s.wake);
    }
    if (calls.started) pthread_join(s.thread, nullptr);
    const StateLock lock;
    calls.started = false;
    s.stopping = false;
}

ServerWatchConnecting::ServerWatchConnecting(std::function<std::vector<SocketId>()> find) {
    WatchState& s = State();
    const StateLock lock;
    s.findLogin = std::move(find);
    s.loginCutAfterSeconds = 0;
    pthread_cond_broadcast(&s.wake);
}

ServerWatchConnecting::~ServerWatchConnecting() {
    WatchState& s = State();
    const StateLock lock;
    s.findLogin = nullptr;
}

unsigned ServerWatchConnecting::CutAfter() const {
    const StateLock lock;
    return State().loginCutAfterSeconds;
}

ServerWatchPause::ServerWatchPause() { calls.paused.fetch_add(1, std::memory_order_acq_rel); }

ServerWatchPause::~ServerWatchPause() {
    calls.generation.fetch_add(1, std::memory_order_release);  // the allowed time starts again
    calls.paused.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace vordex::platform
