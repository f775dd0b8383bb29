// The watch on a silent server, on TCP connections over loopback: it cuts
// only the sockets it watches, and never while the user is asked something.
#include "platform/server_watch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace vordex::platform;

namespace {

struct Connection {
    int client = -1;
    int server = -1;
};

Connection Loopback() {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    Connection c;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        c.client = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(c.client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            c.server = accept(listener, nullptr, nullptr);
        }
    }
    close(listener);
    return c;
}

int LocalPort(int descriptor) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A socket shut down reads its end at once; a live silent one has nothing.
bool IsShutDown(int descriptor) {
    char byte;
    return recv(descriptor, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

TEST(ServerWatch, CutsOnlyTheSocketsItWatchesAndNeverDuringAPause) {
    ServerWatch::Initialize();
    const Connection own = Loopback();
    const Connection host = Loopback();  // a socket of the host's own
    ASSERT_GE(own.server, 0);
    ASSERT_GE(host.server, 0);
    const std::vector<SocketId> watched = SocketsOnLocalPort(ProcessSockets(), LocalPort(own.client));
    ASSERT_EQ(watched.size(), 1u);
    EXPECT_EQ(watched[0].descriptor, own.client);
    ServerWatch::Watch(watched);
    {
        const ServerWatch call(1);
        {
            // Twice the allowed time, spent on a message: not silence.
            const ServerWatchPause userReads;
            std::this_thread::sleep_for(std::chrono::milliseconds(2200));
            EXPECT_FALSE(IsShutDown(own.client));
        }
        for (int tick = 0; tick < 50 && !IsShutDown(own.client); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(IsShutDown(own.client));
        EXPECT_FALSE(IsShutDown(host.client));
    }
    ServerWatch::Forget(watched);
    ServerWatch::Stop();
    for (int descriptor : {own.client, own.server, host.client, host.server}) close(descriptor);
}

}  // namespace
