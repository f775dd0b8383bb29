#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vordex::platform {

/// A socket of the process, told apart from a later socket that reuses its
/// descriptor number.
struct SocketId {
    int descriptor;
    unsigned long inode;
    bool operator==(const SocketId& o) const { return descriptor == o.descriptor && inode == o.inode; }
};

/// The sockets the process holds now.
std::vector<SocketId> ProcessSockets();

/// The sockets of `after` that `before` does not hold: those opened in
/// between, by a connection or by another thread of the process.
std::vector<SocketId> NewSockets(const std::vector<SocketId>& before, const std::vector<SocketId>& after);

/// The TCP sockets of `sockets` bound to local port `port` (IPv4 or IPv6).
std::vector<SocketId> SocketsOnLocalPort(const std::vector<SocketId>& sockets, int port);

/// The TCP sockets of `sockets` connected to `host` (a name or a numeric
/// address) at `port`: the sockets of a connection made to that address,
/// also where a proxy stands between it and the server.
std::vector<SocketId> SocketsToPeer(const std::vector<SocketId>& sockets, const char* host, int port);

/// The Unix-domain sockets of `sockets` connected to the socket file `path`;
/// a `path` without a directory matches that file name in any directory.
std::vector<SocketId> SocketsToLocalPeer(const std::vector<SocketId>& sockets, const std::string& path);

/// Bounds the library's waits on a server that has gone silent.
///
/// A driver waits for its server's answer without a limit of its own: a
/// frozen server, or one cut off by the network, holds a call for as long as
/// it stays so. While a Watch is held (an exported call at work), a thread of
/// the library looks at the sockets of the connections every half second;
/// when none of them has received a byte for the allowed time, it shuts them
/// down, and the waiting driver call fails at once. A server that answers
/// slowly but steadily over TCP is never cut; a Unix-domain socket keeps no
/// time of its last byte, so there the call's own time is the silence.
class ServerWatch {
public:
    /// Arms the watch for `seconds` of silence; nested watches keep the first.
    explicit ServerWatch(unsigned seconds);
    ~ServerWatch();
    ServerWatch(const ServerWatch&) = delete;
    ServerWatch& operator=(const ServerWatch&) = delete;

    /// The sockets of a connection, watched from now until they are forgotten
    /// (before the connection closes them).
    static void Watch(const std::vector<SocketId>& sockets);
    static void Forget(const std::vector<SocketId>& sockets);
    /// The seconds of silence after which the watch shut down one of
    /// `sockets`; 0 while it has cut none of them.
    static unsigned CutAfter(const std::vector<SocketId>& sockets);

    /// Makes the watch's state; the library's load hook calls it first, so
    /// that the state outlives the unload hook.
    static void Initialize();
    /// Ends the watching thread; the library's unload hook calls it last.
    static void Stop();
};

/// A connection being made: while one is alive, the watch times the sockets
/// that `find` answers (those of the login, once it knows them for sure) as
/// it times a connection's, so that a login the server leaves unanswered (a
/// pool with no server connection free) is cut as a call would be.
class ServerWatchConnecting {
public:
    explicit ServerWatchConnecting(std::function<std::vector<SocketId>()> find);
    ~ServerWatchConnecting();
    ServerWatchConnecting(const ServerWatchConnecting&) = delete;
    ServerWatchConnecting& operator=(const ServerWatchConnecting&) = delete;
    /// The seconds of silence after which the watch cut the login; 0 while
    /// it has not.
    unsigned CutAfter() const;
};

/// Suspends an armed watch while the user is asked something (a message,
/// the choice of a data source): a user who reads is not a silent server.
class ServerWatchPause {
public:
    ServerWatchPause();
    ~ServerWatchPause();
    ServerWatchPause(const ServerWatchPause&) = delete;
    ServerWatchPause& operator=(const ServerWatchPause&) = delete;
};

}  // namespace vordex::platform
