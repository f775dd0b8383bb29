// The watch on a silent server cuts only the sockets it watches, and never
// while the user is asked something.
#include "platform/server_watch.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
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
        }
        for (int tick = 0; tick < 50 && !IsShutDown(own[0]); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(IsShutDown(own[0]));
        EXPECT_FALSE(IsShutDown(host[0]));
    }
    ServerWatch::Forget(watched);
    ServerWatch::Stop();
    for (int descriptor : {own[0], own[1], host[0], host[1]}) close(descriptor);
}

}  // namespace
