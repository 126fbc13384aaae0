#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

std::string uniqueName() {
    return "SplicorTest-" + std::to_string(getpid());
}

}  // namespace

TEST(SingleInstanceLock, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    std::string name = uniqueName();
    {
        platform::SingleInstanceLock first(name);
        ASSERT_TRUE(first.held());
        platform::SingleInstanceLock second(name);
        EXPECT_FALSE(second.held());
    }
    platform::SingleInstanceLock again(name);
    EXPECT_TRUE(again.held());
    unlink(platform::SingleInstanceLock::pathFor(name).c_str());
}

TEST(SingleInstanceLock, HolderInAnotherProcessRefusesUsAndReleasesWhenKilled) {
    std::string name = uniqueName() + "-kill";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::SingleInstanceLock lock(name);
        char held = lock.held() ? 'y' : 'n';
        (void)!write(ready[1], &held, 1);
        for (;;) {
            pause();
        }
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    {
        platform::SingleInstanceLock refused(name);
        EXPECT_FALSE(refused.held());
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    platform::SingleInstanceLock mine(name);
    EXPECT_TRUE(mine.held());
    close(ready[0]);
    close(ready[1]);
    unlink(platform::SingleInstanceLock::pathFor(name).c_str());
}
