// The watch on a silent server cuts only the sockets it watches, and never
// while the user is asked something.
#include "platform/server_watch.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace vordex::platform;

namespace {

// A shut-down socket reads its end at once; a live, silent one has nothing.
bool IsShutDown(int descriptor) {
    char byte;
    return recv(descriptor, &byte, 1, MSG_DONTWAIT | MSG_PEEK) == 0;
}

TEST(ServerWatch, APauseHoldsTheCutAndOnlyWatchedSocketsAreCut) {
    // Silent pairs; a socket that is not TCP counts as silent.
    int own[2], host[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, own), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, host), 0);
    struct stat status {};
    fstat(own[0], &status);
    const std::vector<SocketId> watched = {{own[0], static_cast<unsigned long>(status.st_ino)}};
    ServerWatch::Initialize();
    ServerWatch::Watch(watched);
    {
        const ServerWatch call(1);
        {
            // Twice the allowed time, spent on a message: not silence.
            const ServerWatchPause userReads;
            std::this_thread::sleep_for(std::chrono::milliseconds(2200));
            EXPECT_FALSE(IsShutDown(own[0]));
            EXPECT_EQ(ServerWatch::CutAfter(watched), 0u);
        }
        for (int tick = 0; tick < 50 && !IsShutDown(own[0]); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(IsShutDown(own[0]));
        EXPECT_FALSE(IsShutDown(host[0]));
        EXPECT_EQ(ServerWatch::CutAfter(watched), 1u);
    }
    ServerWatch::Forget(watched);
    EXPECT_EQ(ServerWatch::CutAfter(watched), 0u);
    ServerWatch::Stop();
    for (int descriptor : {own[0], own[1], host[0], host[1]}) close(descriptor);
}

// A login is found by the server's socket file and cut as a connection is.
TEST(ServerWatch, ALoginToASocketFileIsFoundAndCut) {
    char directory[] = "/tmp/vordex-watch-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string path = std::string(directory) + "/.s.PGSQL.5432";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 2), 0);
    const std::vector<SocketId> before = ProcessSockets();
    const int login = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(connect(login, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::vector<SocketId> added = NewSockets(before, ProcessSockets());
    ASSERT_EQ(added.size(), 1u);

    const struct {
        std::string path;
        size_t found;
    } cases[] = {{path, 1}, {".s.PGSQL.5432", 1}, {".s.PGSQL.5433", 0}, {"/elsewhere/.s.PGSQL.5432", 0}, {"", 0}};
    for (const auto& c : cases) EXPECT_EQ(SocketsToLocalPeer(added, c.path).size(), c.found) << c.path;

    ServerWatch::Initialize();
    {
        const ServerWatch call(1);
        const ServerWatchConnecting connecting(
            [&] { return SocketsToLocalPeer(NewSockets(before, ProcessSockets()), path); });
        for (int tick = 0; tick < 50 && !IsShutDown(login); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(IsShutDown(login));
        EXPECT_EQ(connecting.CutAfter(), 1u);
        EXPECT_EQ(ServerWatch::CutAfter(added), 0u);  // a login's cut is the login's
    }
    ServerWatch::Stop();
    close(login);
    close(listener);
    unlink(path.c_str());
    rmdir(directory);
}

}  // namespace
