// Which of a connection's sockets the server watch watches, and the server
// the completed connect string names.
#include <functional>
#include <string>
#include <vector>

#include "db/database.h"
#include "platform/connect_string.h"
#include "platform/data_source_setting.h"
#include "platform/server_watch.h"

namespace vordex {

// The watch shuts down what it watches, so it must know for sure which of
// the sockets that appeared while the driver connected are this
// connection's: the server names the client port of its session, and the one
// candidate bound to that port is. Where the server cannot say (another
// DBMS, a Unix-domain socket), the one candidate connected to the server's
// address or socket file is. Where none or several fit, nothing is watched:
// a silent server then holds a call as long as the driver lets it, but no
// socket of the host is ever cut.
void CDatabase::WatchOwnSockets() {
    std::vector<platform::SocketId> candidates;
    candidates.swap(Sockets);
    if (candidates.empty()) return;
    std::vector<platform::SocketId> own;
    if (const char* query = Profile().ClientPortQuery()) {
        const long port = platform::DecimalValue(QueryFirstValue(query));
        if (port >= 0) own = platform::SocketsOnLocalPort(candidates, static_cast<int>(port));
    }
    // Through a proxy the server names the proxy's client port, and some
    // servers name none: the one socket connected to the address the connect
    // string names is the connection's. A socket a host thread opened to
    // the same address meanwhile makes two, and then none is watched.
    if (own.size() != 1 && Profile().DefaultServerPort() != 0) {
        own = platform::SocketsToPeer(candidates, ServerHost().c_str(), ServerPort(Profile().DefaultServerPort()));
    }
    if (own.size() != 1)
        own = platform::SocketsToLocalPeer(candidates, Profile().LocalSocketPath(ConnectString.c_str()));
    if (own.size() != 1) return;
    Sockets = own;
    platform::ServerWatch::Watch(Sockets);
}

// Read here, on the caller's thread: the watch's thread only looks at sockets.
std::function<std::vector<platform::SocketId>()> CDatabase::LoginSockets(const std::vector<platform::SocketId>& before,
                                                                         const std::string& connect) const {
    const int port =
        Profile().DefaultServerPort() != 0 ? ServerPortIn(connect.c_str(), Profile().DefaultServerPort()) : 0;
    const std::string host = ServerHostIn(connect.c_str());
    const std::string local = Profile().LocalSocketPath(connect);
    if (port == 0 && local.empty()) return nullptr;
    // As WatchOwnSockets, without the server's word: the one new socket to
    // the server's address, or else to its socket file.
    return [before, host, port, local] {
        const std::vector<platform::SocketId> added = platform::NewSockets(before, platform::ProcessSockets());
        std::vector<platform::SocketId> login;
        if (port != 0) login = platform::SocketsToPeer(added, host.c_str(), port);
        if (login.size() != 1) login = platform::SocketsToLocalPeer(added, local);
        if (login.size() != 1) login.clear();
        return login;
    };
}

// The completed connect string may name just the DSN: the server is then
// where the DSN's settings say, as the driver read them.
std::string CDatabase::ServerHost() const { return ServerHostIn(ConnectString.c_str()); }

int CDatabase::ServerPort(int defaultPort) const { return ServerPortIn(ConnectString.c_str(), defaultPort); }

std::string CDatabase::ServerHostIn(const char* connect) {
    for (const char* key : {"SERVERNAME", "SERVER", "HOST"}) {
        const std::string host = platform::UnbracedValue(platform::ConnectOrDataSourceValue(connect, key));
        if (!host.empty()) return host;
    }
    return "";
}

int CDatabase::ServerPortIn(const char* connect, int defaultPort) {
    const long port =
        platform::DecimalValue(platform::UnbracedValue(platform::ConnectOrDataSourceValue(connect, "PORT")));
    return port >= 0 ? static_cast<int>(port) : defaultPort;
}

}  // namespace vordex
