// The real console layer, with standard input pointed at pipes and files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include "console/console.h"

using reedmere::console::key_pending;

namespace {

// Points file descriptor 0 at fd for the life of the object.
struct StdinFrom {
    int saved = dup(STDIN_FILENO);
    explicit StdinFrom(int fd) { dup2(fd, STDIN_FILENO); }
    ~StdinFrom() {
        dup2(saved, STDIN_FILENO);
        close(saved);
    }
};

void count_alarm(int) {}

}  // namespace

TEST(KeyTest, SeesWaitingInputWithoutTakingIt) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    {
        StdinFrom redirect(fds[0]);
        EXPECT_FALSE(key_pending());
        ASSERT_EQ(write(fds[1], "k", 1), 1);
        EXPECT_TRUE(key_pending());
        EXPECT_TRUE(key_pending()) << "the first test consumed the key";
        char c = 0;
        ASSERT_EQ(read(STDIN_FILENO, &c, 1), 1);
        EXPECT_EQ(c, 'k');
        EXPECT_FALSE(key_pending());
        close(fds[1]);
        EXPECT_TRUE(key_pending()) << "the end of input must end the wait";
    }
    close(fds[0]);
}

TEST(KeyTest, AnEmptyFileCountsAsInputWaiting) {
    const int devnull = open("/dev/null", O_RDONLY);
    ASSERT_GE(devnull, 0);
    {
        StdinFrom redirect(devnull);
        EXPECT_TRUE(key_pending());
    }
    close(devnull);
}

TEST(Sleep, LastsAtLeastTheTimeAskedEvenWhenSignalsInterruptIt) {
    struct sigaction action {};
    action.sa_handler = count_alarm;  // no SA_RESTART: every alarm interrupts the sleep
    sigaction(SIGALRM, &action, nullptr);
    itimerval every_20ms{{0, 20000}, {0, 20000}};
    setitimer(ITIMER_REAL, &every_20ms, nullptr);

    const auto begin = std::chrono::steady_clock::now();
    reedmere::console::sleep_ms(250);
    const auto elapsed = std::chrono::steady_clock::now() - begin;

    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    signal(SIGALRM, SIG_DFL);
    EXPECT_GE(elapsed, std::chrono::milliseconds(250));
    EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
}
