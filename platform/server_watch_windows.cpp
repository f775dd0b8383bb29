// On Windows the library does not watch its connections' sockets: a call
// waits on a silent server as long as the driver does. The statements'
// query time-out and the session's lock time-out still bound what the
// server itself makes wait.
#include "platform/server_watch.h"

namespace vordex::platform {

std::vector<SocketId> ProcessSockets() { return {}; }

std::vector<SocketId> NewSockets(const std::vector<SocketId>&, const std::vector<SocketId>&) { return {}; }

std::vector<SocketId> SocketsOnLocalPort(const std::vector<SocketId>&, int) { return {}; }

std::vector<SocketId> SocketsToPeer(const std::vector<SocketId>&, const char*, int) { return {}; }

std::vector<SocketId> SocketsToLocalPeer(const std::vector<SocketId>&, const std::string&) { return {}; }

ServerWatch::ServerWatch(unsigned) {}
ServerWatch::~ServerWatch() = default;
void ServerWatch::Watch(const std::vector<SocketId>&) {}
void ServerWatch::Forget(const std::vector<SocketId>&) {}
unsigned ServerWatch::CutAfter(const std::vector<SocketId>&) { return 0; }
void ServerWatch::Initialize() {}
void ServerWatch::Stop() {}

ServerWatchConnecting::ServerWatchConnecting(std::function<std::vector<SocketId>()>) {}
ServerWatchConnecting::~ServerWatchConnecting() = default;
unsigned ServerWatchConnecting::CutAfter() const { return 0; }

ServerWatchPause::ServerWatchPause() = default;
ServerWatchPause::~ServerWatchPause() = default;

}  // namespace vordex::platform
